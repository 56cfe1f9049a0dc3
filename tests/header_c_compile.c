/* Compiled as C99 and C11 to prove that the public header is valid C. */
#include "vksacc.h"

#include <string.h>

uint32_t VksHeaderCProbe(VKSMEDIASAMPLE* pSample, VKSMEDIABUFFERS* pBuffers, VKSMEDIATYPE* pType,
                         DiscoParms* pParms, VKSINFOW* pInfo);

uint32_t VksHeaderCProbe(VKSMEDIASAMPLE* pSample, VKSMEDIABUFFERS* pBuffers, VKSMEDIATYPE* pType,
                         DiscoParms* pParms, VKSINFOW* pInfo)
{
    VKSDECODERERRORFN decoderError = 0;
    VKSDISCOVERYFN discovery = 0;
    VKSGUID session;

    memset(pBuffers, 0, sizeof(*pBuffers));
    pBuffers->BufferCount = 1;
    pBuffers->Planes.FirstPlaneValues[1] = 7;
    pSample->Kind = 1;
    pSample->pMediaType = pType;
    pSample->Layout = 2;
    pSample->pBuffers = pBuffers;
    pParms->Size = (uint32_t)sizeof(DiscoParms);
    pInfo->Size = (uint32_t)sizeof(VKSINFOW);
    memset(&session, 0, sizeof(session));

    return (uint32_t)(decoderError == 0 && discovery == 0 && session.Data1 == 0)
         + pBuffers->BufferCount
         + (uint32_t)offsetof(VKSMEDIABUFFERS, Planes.FirstPlaneValues)
         + (VKSERROR)VKSERROR_INVALID_ARGUMENT
         + (VKSACC_VERSION == VKSGetVersion() ? VKS_DECODER_STATE_PLAYING : VKS_DECODER_STATE_OPENED)
         + (uint32_t)(VKSErrorToString(VKSERROR_NO_ERROR)[0] == 'V');
}
