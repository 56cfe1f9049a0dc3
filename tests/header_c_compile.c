/* Compiled as C99 and C11 to prove that the public header is valid C: its
 * types, the unnamed union of the buffer list, and its macros in use. */
#include "vksacc.h"

uint32_t VksHeaderCProbe(VKSMEDIASAMPLE* pSample, VKSMEDIABUFFERS* pBuffers, DiscoParms* pParms);

uint32_t VksHeaderCProbe(VKSMEDIASAMPLE* pSample, VKSMEDIABUFFERS* pBuffers, DiscoParms* pParms)
{
    VKSDECODERERRORFN decoderError = 0;
    VKSDISCOVERYFN discovery = 0;
    VKSGUID session = {0};

    pBuffers->Planes.FirstPlaneValues[1] = 7;
    pSample->pBuffers = pBuffers;
    pParms->Size = (uint32_t)sizeof(DiscoParms);
    return (uint32_t)(decoderError == 0 && discovery == 0 && session.Data1 == 0)
         + (uint32_t)offsetof(VKSMEDIABUFFERS, Planes.FirstPlaneValues)
         + (VKSERROR)VKSERROR_INVALID_ARGUMENT
         + (VKSACC_VERSION == VKSGetVersion() ? VKS_DECODER_STATE_PLAYING : VKS_DECODER_STATE_OPENED)
         + (uint32_t)(VKSErrorToString(VKSERROR_NO_ERROR)[0] == 'V');
}
