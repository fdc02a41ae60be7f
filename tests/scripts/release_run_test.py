#!/usr/bin/python3
"""The archive that scripts/release packs, unpacked: the libraries it carries
load from its own lib/, the launcher prints the version and starts the
windowed program from another working folder with every file found, and a
file missing from the unpacked tree is named in one line."""
import glob
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

REPO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
BUILD = os.environ.get("QUILLON_BUILD", os.path.join(REPO, "build"))
BUNDLED = ("libSDL2-2.0.so.0", "libGLEW.so.2.2", "libassimp.so.5", "libdraco.so.7",
           "libminizip.so.1", "libmpg123.so.0", "libstb.so.0")


def read(path):
    with open(path) as f:
        return f.read()


def version():
    for line in read(os.path.join(BUILD, "CMakeCache.txt")).splitlines():
        if line.startswith("CMAKE_PROJECT_VERSION:STATIC="):
            return line.split("=", 1)[1].strip()
    return None


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="quillon_release_")
        archive = os.path.join(cls.scratch, "quillon.tar.xz")
        subprocess.run([os.path.join(REPO, "scripts", "release"), archive], check=True,
                       env=dict(os.environ, QUILLON_BUILD=BUILD, XZ_OPT="-0 -T0"), stdout=subprocess.DEVNULL)
        subprocess.run(["tar", "-C", cls.scratch, "-xJf", archive], check=True)
        cls.top, = glob.glob(os.path.join(cls.scratch, "quillon-*-linux-*"))
        cls.elsewhere = os.path.join(cls.scratch, "elsewhere")
        os.mkdir(cls.elsewhere)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_carried_libraries_load_from_its_lib_and_nothing_of_the_host_is_carried(self):
        self.assertEqual(sorted(os.listdir(os.path.join(self.top, "lib"))), sorted(BUNDLED))
        for program in ("quillon-fullscreen", "quillon-windowed"):
            ldd = subprocess.run(["ldd", os.path.join(self.top, "bin", program)],
                                 stdout=subprocess.PIPE, text=True, check=True).stdout
            resolved = {words[0]: os.path.realpath(words[2]) for words in map(str.split, ldd.splitlines())
                        if len(words) >= 3 and words[1] == "=>"}
            for name in BUNDLED:
                self.assertEqual(resolved.get(name), os.path.realpath(os.path.join(self.top, "lib", name)), program)
            for name in ("libGL.so.1", "libX11.so.6", "libc.so.6", "libstdc++.so.6"):
                self.assertFalse(resolved.get(name, "").startswith(os.path.realpath(self.top)), name)

    def test_launcher_runs_the_windowed_program_from_another_folder(self):
        launcher = os.path.join(self.top, "quillon")
        printed = subprocess.run([launcher, "--version"], cwd=self.elsewhere, stdout=subprocess.PIPE, text=True)
        self.assertEqual((printed.returncode, printed.stdout), (0, "quillon %s\n" % version()))

        # The carried SDL opens the X client libraries at run time and closes
        # them as it quits, so under the sanitizer what they keep is reported
        # from modules that are gone and no suppression can name them. The
        # program's own leaks are checked where it runs on the build's SDL.
        env = dict(os.environ)
        if "ASAN_OPTIONS" in env:
            env["ASAN_OPTIONS"] += ":detect_leaks=0"
        log = os.path.join(self.scratch, "windowed.txt")
        with open(log, "w") as out:
            run = subprocess.Popen([launcher, "--windowed"], cwd=self.elsewhere, stdout=out, env=env,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        try:
            deadline = time.monotonic() + 300
            while run.poll() is None and "done loading!" not in read(log) and time.monotonic() < deadline:
                time.sleep(0.5)
            self.assertIsNone(run.poll(), read(log))
            time.sleep(1)
            os.killpg(run.pid, signal.SIGTERM)
            self.assertEqual(run.wait(60), 0, read(log))
        finally:
            if run.poll() is None:
                os.killpg(run.pid, signal.SIGKILL)
                run.wait()
        text = read(log)
        order = [text.find(line) for line in ("GLVersion: ", "rock'n'roll", "done loading!")]
        self.assertTrue(-1 not in order and order == sorted(order), text)
        self.assertNotIn("failed", text)

    def test_a_missing_file_is_named_in_one_line(self):
        cut = os.path.join(self.scratch, "cut")
        shutil.copytree(self.top, cut, symlinks=True)
        os.remove(os.path.join(cut, "sync", "sync_7.track"))
        ran = subprocess.run([os.path.join(cut, "quillon"), "--windowed"], cwd=self.elsewhere,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
        self.assertEqual(ran.returncode, 1)
        self.assertEqual(ran.stdout, "")
        self.assertEqual(ran.stderr.count("\n"), 1, ran.stderr)
        self.assertIn("sync/sync_7.track is missing", ran.stderr)


if __name__ == "__main__":
    unittest.main()
