#include "driver/event_actions.h"

#include "audio/audio_events.h"
#include "core/log.h"
#include "discovery/discovery_events.h"
#include "encoder/encoder_events.h"
#include "objects/file_feeding.h"
#include "objects/renderer.h"
#include "objects/user_handle.h"

void ActOnEvent(DWORD hvks, UserHandle* object, VKSERROR code, BYTE* reply) {
    switch (code) {
        case VKSERROR_NEED_DATA:
            FeedNextBlock(object);
            break;
        case VKSERROR_SEEK_DATA:
            SeekPlaybackFile(object, ReadU64(reply, kPayload));
            break;
        case VKSERROR_CLIENT_CLOSED:
        case VKSERROR_UPGRADE_STARTED:
            object->HVKSHandle = 0;
            break;
        case VKSERROR_DECODED_FIRST_FRAME:
            RendererFirstFrame(object);
            break;
        case VKSERROR_AUDIO_EXISTS:
            AudioStreamHasAudio(object);
            break;
        case VKSERROR_NO_LANDING_PLACE:
        case VKSERROR_ENC_DMA_ERROR:
        case VKSERROR_ENC_AUD_LOAD_ERROR:
            LogNotification(WSTR("WorkerThread: Got AVKS2 encode error(%x)\n"), code);
            break;
        case VKSERROR_ENC_BUFFER_OVERFLOW:
        case VKSERROR_ENC_AUD_BUFFER_OVERFLOW:
            LogNotification(WSTR("WorkerThread: Got AVKS2 video/audio encode warning(%x)\n"), code);
            break;
        case VKSERROR_ENC_INTERNAL_STREAMER_ERROR:
            LogNotification(WSTR("WorkerThread: Got GSTError from the AVKS2 Encoder(%x)\n"), code);
            break;
        case VKSERROR_ENC_INTERNAL_STREAMER_WARNING:
        case VKSERROR_ENC_NOTIFY_NO_NETWORK:
            LogNotification(WSTR("WorkerThread: Got GSTWarning from the AVKS2 Encoder(%x)\n"), code);
            break;
        case VKSERROR_ENC_NOTIFY_DMA_STOPPED:
        case VKSERROR_ENC_NOTIFY_AUDIO_ACQUISITION_STOPPED:
            LogNotification(WSTR("WorkerThread: Got Video or Audio thread stopped(%x)\n"), code);
            break;
        case VKSERROR_ENC_NOTIFY_ENCR_KEY:
            CallEncryptionKeysFn(hvks, object, reply + kPayload);
            break;
        case VKSERROR_DISCOVERED_DEVICES:
            DeliverDiscoveredDevices(hvks, object, reply);
            break;
        default:
            break;
    }
}
