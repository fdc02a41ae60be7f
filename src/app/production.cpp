#include "app/production.h"

#include <string>

#include "app/timeline.h"
#include "assets/mesh.h"
#include "scenes/catch_up.h"
#include "scenes/scenes.h"
#include "sync/sync.h"

void loadProductionMeshes()
{
    createQuadMesh(screenQuad0);
    createQuadMesh(screenQuad1);
    loadMeshFile("data/tovel3/scene4/skydome.3DS");
}

void openProductionTracks(ProductionTracks& tracks)
{
    tracks.device = createSyncDevice("sync/sync");
    for (int i = 0; i < trackCount; ++i)
        tracks.tracks[i] = getSyncTrack(tracks.device, std::to_string(i).c_str());
}

int countKeyedTracks(const ProductionTracks& tracks)
{
    int keyed = 0;
    for (const SyncTrack* track : tracks.tracks)
        if (track && track->numKeys > 0) ++keyed;
    return keyed;
}

void sampleProductionTracks(const ProductionTracks& tracks, double row, float* values)
{
    for (int i = 0; i < trackCount; ++i)
        values[i] = float(getSyncValue(tracks.tracks[i], row));
}

void drawFrameAt(Demo& demo, const float* trackValues, double row, float musicTime)
{
    if (sceneForRow(row) == 2)
        drawScene2(trackValues, demo, double(musicTime));
    else
        drawScene1(trackValues, demo, double(musicTime));
}

void catchUpFrameAt(Demo& demo, const ProductionTracks& tracks, double musicTime)
{
    const ProductionTracks* source = &tracks;
    catchUpToTime(demo, musicTime, [source](double row, float* values) {
        sampleProductionTracks(*source, row, values);
    });
}

void releaseProductionTracks(ProductionTracks& tracks)
{
    releaseSyncDevice(tracks.device);
    tracks = ProductionTracks();
}
