/*
 * videowall: plays several files at once, each on its own network stream
 * through its own decoder, the way a video wall fills its tiles; reports each
 * tile's first frame and end of stream, and every error by code.
 *
 *   videowall FILE [FILE ...]
 *
 * Against the simulator: VKS_SIM_CONFIG=<prefix>/share/vksacc/sim/default.conf
 * VKS_DLL_PATH=<prefix>/lib/vksacc/standins videowall a.ts b.ts c.ts
 */
#define _XOPEN_SOURCE 700 /* clock_gettime, pthread_cond_timedwait, realpath */

#include <vksacc.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define MAX_TILES 16

typedef struct Tile {
    uint32_t decoderIndex;
    uint32_t portIndex;
    HVKS stream;
    HVKS decoder;
    int firstFrame;     /* set on the worker thread, read under g_lock */
    int ended;
    VKSERROR failure;   /* the first failure reported, 0 if none */
} Tile;

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_changed = PTHREAD_COND_INITIALIZER;

/* Both callbacks run on the library's worker thread, one at a time: they
 * only record what happened and wake the main thread. */
static void VKSAPI OnDecoderError(void* reserved, uint32_t reservedValue, HVKS decoder, VKSMEDIASAMPLE* sample,
                                  VKSERROR status, void* context) {
    Tile* tile = (Tile*)context;
    (void)reserved, (void)reservedValue, (void)decoder, (void)sample;
    pthread_mutex_lock(&g_lock);
    if (status == VKSERROR_DECODED_FIRST_FRAME)
        tile->firstFrame = 1;
    else if ((status & 0xFFFu) < 0x400u && tile->failure == 0) /* a failure, not a notification */
        tile->failure = status;
    pthread_cond_broadcast(&g_changed);
    pthread_mutex_unlock(&g_lock);
}

static void VKSAPI OnStreamError(HVKS stream, uint32_t value, VKSMEDIASAMPLE* sample, VKSERROR status, void* context) {
    Tile* tile = (Tile*)context;
    (void)stream, (void)value, (void)sample;
    pthread_mutex_lock(&g_lock);
    if (status == VKSERROR_END_OF_STREAM)
        tile->ended = 1;
    else if ((status & 0xFFFu) < 0x400u && tile->failure == 0)
        tile->failure = status;
    pthread_cond_broadcast(&g_changed);
    pthread_mutex_unlock(&g_lock);
}

/* The device of an input is not part of the interface; inputs of one device
 * share their information text, and a decoder plays streams of its own
 * device only. */
static void InfoText(VKSERROR(VKSAPI* getInfo)(uint32_t, VKSINFOA*), uint32_t index, char* text, size_t size) {
    VKSINFOA info;
    memset(&info, 0, sizeof info);
    info.Size = sizeof info;
    text[0] = 0;
    if (getInfo(index, &info) == VKSERROR_NO_ERROR) snprintf(text, size, "%s", info.Text);
}

static int PortForDecoder(uint32_t decoder, uint32_t ports) {
    char decoderText[256], portText[256];
    InfoText(VKSDecoderGetInfoA, decoder, decoderText, sizeof decoderText);
    for (uint32_t p = 0; p < ports; ++p) {
        InfoText(VKSNetworkPortGetInfoA, p, portText, sizeof portText);
        if (strcmp(decoderText, portText) == 0) return (int)p;
    }
    return -1;
}

static int AllDone(const Tile* tiles, int count) {
    for (int i = 0; i < count; ++i)
        if (!tiles[i].failure && !(tiles[i].firstFrame && tiles[i].ended)) return 0;
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: videowall FILE [FILE ...]\n");
        return 2;
    }
    printf("videowall: VKSACC %s (library %u.%u.%u)\n", VKSACC_VERSION_STRING, VKSGetVersion() >> 16,
           (VKSGetVersion() >> 8) & 0xFFu, VKSGetVersion() & 0xFFu);
    VKSHENGINE engine = NULL;
    VKSERROR status = VKSEngineLoad(&engine);
    if (status != VKSERROR_NO_ERROR) {
        fprintf(stderr, "videowall: the engine did not load: 0x%08X\n", status);
        VKSEngineFree(engine);
        return 1;
    }
    uint32_t ports = 0, decoders = 0;
    VKSNetworkPortGetCount(&ports);
    VKSDecoderGetCount(&decoders);
    int count = argc - 1;
    if (count > MAX_TILES) count = MAX_TILES;
    if ((uint32_t)count > decoders) count = (int)decoders;
    printf("videowall: %u decoders, %u network ports; %d tiles\n", decoders, ports, count);

    static Tile tiles[MAX_TILES];
    int result = 0, opened = 0;
    for (int i = 0; i < count; ++i, ++opened) {
        Tile* tile = &tiles[i];
        tile->decoderIndex = (uint32_t)i;
        const int port = PortForDecoder(tile->decoderIndex, ports);
        if (port < 0) {
            fprintf(stderr, "videowall: no network port on decoder %d's device\n", i);
            result = 1;
            break;
        }
        tile->portIndex = (uint32_t)port;
        /* The device reads the file by its address: a path relative to this
         * program's folder means nothing there, so give it the absolute one. */
        char path[4096], address[4200];
        if (!realpath(argv[1 + i], path)) {
            fprintf(stderr, "videowall: tile %d: %s: ", i, argv[1 + i]);
            perror(NULL);
            result = 1;
            break;
        }
        snprintf(address, sizeof address, "file://%s", path);
        status = VKSNetworkStreamOpenExA(tile->portIndex, address, 0, &tile->stream, NULL);
        if (status != VKSERROR_NO_ERROR) {
            fprintf(stderr, "videowall: tile %d: cannot open %s on port %u: 0x%08X\n", i, address, tile->portIndex,
                    status);
            tile->stream = 0;
            result = 1;
            break;
        }
        VKSGUID session;
        memset(&session, 0, sizeof session); /* a session of its own */
        status = VKSDecoderDeviceOpenEx(tile->decoderIndex, 0, 0, &tile->decoder, NULL, &session);
        if (status != VKSERROR_NO_ERROR) {
            fprintf(stderr, "videowall: tile %d: cannot open decoder %u: 0x%08X\n", i, tile->decoderIndex, status);
            tile->decoder = 0;
            result = 1;
            break;
        }
        VKSDecoderDeviceSetErrorFn(NULL, 0, tile->decoder, OnDecoderError, tile);
        VKSNetworkStreamSetErrorFn(tile->stream, 0, OnStreamError, tile);
        /* A real wall gives each tile its window here. */
        (void)VKSDecoderDeviceSetWindow(NULL, 0, tile->decoder, NULL);
        status = VKSDecoderDeviceSetState(tile->stream, 0, tile->decoder, VKS_DECODER_STATE_PLAYING);
        if (status != VKSERROR_NO_ERROR) {
            fprintf(stderr, "videowall: tile %d: cannot play: 0x%08X\n", i, status);
            result = 1;
            break;
        }
        /* The session the tile's sound plays in (all zeros: no sound). */
        char sessionId[VKS_AUDIO_SESSION_ID_SIZE] = "none";
        if (VKSDecoderDeviceGetAudioSessionId(tile->decoder, sessionId) != VKSERROR_NO_ERROR) strcpy(sessionId, "none");
        printf("tile %d: decoder %u plays %s from port %u; audio session %s\n", i, tile->decoderIndex, argv[1 + i],
               tile->portIndex, sessionId);
    }

    if (result == 0) {
        struct timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 30;
        pthread_mutex_lock(&g_lock);
        while (!AllDone(tiles, count))
            if (pthread_cond_timedwait(&g_changed, &g_lock, &deadline) != 0) break;
        for (int i = 0; i < count; ++i) {
            printf("tile %d: %s, %s", i, tiles[i].firstFrame ? "first frame" : "no frame",
                   tiles[i].ended ? "end of stream" : "still playing");
            if (tiles[i].failure) printf(", error 0x%08X", tiles[i].failure);
            printf("\n");
            if (!tiles[i].firstFrame || !tiles[i].ended || tiles[i].failure) result = 1;
        }
        pthread_mutex_unlock(&g_lock);
    }

    for (int i = 0; i < opened + 1 && i < count; ++i) {
        if (tiles[i].decoder) VKSDecoderDeviceClose(tiles[i].decoder);
        if (tiles[i].stream) VKSNetworkStreamClose(tiles[i].stream);
    }
    status = VKSEngineFree(engine);
    if (status != VKSERROR_NO_ERROR) result = 1;
    printf("videowall: %s\n", result == 0 ? "every tile played to its end" : "FAILED");
    return result;
}
