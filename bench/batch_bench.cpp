// Cost of writing sprite and segment batches on the CPU and of sending them to
// GL: the used range written in place (what the drawing helpers do), against
// orphaning first and against re-specifying the whole buffer. Upload
// benchmarks need a display (run under xvfb-run); without a window and GL
// context the program says why on stderr and exits with status 1.
#include <cstdio>
#include <cstdlib>

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include "quietly.h"

#include "app/window.h"
#include "assets/mesh.h"
#include "render/draw.h"

namespace {

bool haveGL()
{
    static int state = -1;
    if (state == -1) {
        static AppWindow window;
        quietly([] { state = createHiddenAppWindow("batch bench", 64, 64, window) ? 1 : 0; });
        if (state != 1) {
            fprintf(stderr, "batch bench: %s\n", window.failure);
            exit(1);
        }
    }
    return state == 1;
}

// False, with the benchmark marked skipped, when there is no GL context.
bool requireGL(benchmark::State& state)
{
    if (haveGL()) return true;
    state.SkipWithError("no GL context");
    return false;
}

Mesh& spriteBatch()
{
    static Mesh batch;
    if (batch.vertexCount == 0) quietly([] { createQuadBatch(batch, 6000); });
    return batch;
}

Mesh& segmentBatch()
{
    static Mesh batch;
    if (batch.vertexCount == 0) quietly([] { createSegmentBatch(batch); });
    return batch;
}

// The whole vertexData re-specified, whatever is drawn.
void measureWholeUpload(benchmark::State& state, const Mesh& batch)
{
    const size_t bytes = batch.vertexData.size() * sizeof(float);
    for (auto _ : state) {
        glBindBuffer(GL_ARRAY_BUFFER, batch.vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), batch.vertexData.data(),
                     GL_DYNAMIC_DRAW);
        glFinish();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_SetQuadWholeSpriteBatch(benchmark::State& state)
{
    Mesh batch;
    layoutQuadBatch(batch, 6000);
    for (auto _ : state) {
        for (int32_t q = 0; q < 6000; ++q)
            setQuad(batch, q, static_cast<float>(q), 1.0f, 2.0f, 0.5f);
        benchmark::DoNotOptimize(batch.vertexData.data());
    }
    state.SetItemsProcessed(state.iterations() * 6000);
}
BENCHMARK(BM_SetQuadWholeSpriteBatch);

void BM_SetSegments(benchmark::State& state)
{
    Mesh batch;
    layoutSegmentBatch(batch);
    const int32_t count = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        for (int32_t q = 0; q < count; ++q)
            setSegment(batch, q, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 0.5f, 0.25f);
        benchmark::DoNotOptimize(batch.vertexData.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SetSegments)->Arg(2000)->Arg(20000);

// Quads uploaded per frame: the used range of a 6000-quad sprite batch.
void BM_UploadSpriteBatchUsedRange(benchmark::State& state)
{
    if (!requireGL(state)) return;
    Mesh& batch = spriteBatch();
    const int32_t quads = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        uploadQuadBatch(batch, quads);
        glFinish();
    }
    state.SetBytesProcessed(state.iterations() * quads * 4 * 24);
}
BENCHMARK(BM_UploadSpriteBatchUsedRange)->Arg(100)->Arg(3000)->Arg(6000);

void BM_UploadSpriteBatchWhole(benchmark::State& state)
{
    if (!requireGL(state)) return;
    measureWholeUpload(state, spriteBatch());
}
BENCHMARK(BM_UploadSpriteBatchWhole);

void BM_UploadSegmentBatchUsedRange(benchmark::State& state)
{
    if (!requireGL(state)) return;
    Mesh& batch = segmentBatch();
    const int32_t quads = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        uploadSegmentBatch(batch, quads);
        glFinish();
    }
    state.SetBytesProcessed(state.iterations() * quads * 4 * 40);
}
BENCHMARK(BM_UploadSegmentBatchUsedRange)->Arg(2000)->Arg(20000);

// The used ranges written after orphaning the buffer, for comparison with
// the helper's in-place write.
void BM_UploadSegmentBatchOrphanThenUsedRange(benchmark::State& state)
{
    if (!requireGL(state)) return;
    Mesh& batch = segmentBatch();
    const size_t quads = static_cast<size_t>(state.range(0));
    const size_t v = static_cast<size_t>(batch.vertexCount);
    const size_t blocks[4][2] = {{0, 3}, {3, 3}, {6, 2}, {8, 2}};  // floats before, components
    for (auto _ : state) {
        glBindBuffer(GL_ARRAY_BUFFER, batch.vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(batch.vertexData.size() * sizeof(float)), nullptr,
                     GL_DYNAMIC_DRAW);
        for (const auto& block : blocks)
            glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(v * block[0] * sizeof(float)),
                            static_cast<GLsizeiptr>(quads * 4 * block[1] * sizeof(float)),
                            batch.vertexData.data() + v * block[0]);
        glFinish();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(quads) * 4 * 40);
}
BENCHMARK(BM_UploadSegmentBatchOrphanThenUsedRange)->Arg(2000)->Arg(20000);

void BM_UploadSegmentBatchWhole(benchmark::State& state)
{
    if (!requireGL(state)) return;
    measureWholeUpload(state, segmentBatch());
}
BENCHMARK(BM_UploadSegmentBatchWhole);

}  // namespace
