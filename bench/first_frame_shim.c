/* Start-up timing shim, loaded with LD_PRELOAD by scripts/startup-time.
 * It wraps SDL_GL_SwapWindow: after the first buffer swap has been handed to
 * the window system it writes the wall clock (seconds since the epoch) to the
 * file named by QUILLON_FIRST_FRAME_FILE and ends the process, so the program
 * under test prints nothing it would not print anyway. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFunction)(void*);

void SDL_GL_SwapWindow(void* window)
{
    SwapFunction swap = (SwapFunction)dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    if (swap) swap(window);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const char* path = getenv("QUILLON_FIRST_FRAME_FILE");
    if (path) {
        FILE* file = fopen(path, "w");
        if (file) {
            fprintf(file, "%ld.%09ld\n", (long)now.tv_sec, now.tv_nsec);
            fclose(file);
        }
    }
    fflush(stdout);
    _exit(0);
}
