/* Command codes and frame offsets that the device simulator answers. Shared by
 * the simulator, its C and C++ control surfaces and the tests. Plain C. */
#ifndef VKSSIM_PROTOCOL_H
#define VKSSIM_PROTOCOL_H

/* Device interface class that the simulated devices register. */
#define VKSSIM_INTERFACE_CLASS_INIT \
    { 0x6F1C2B84u, 0x9D3Eu, 0x4A57u, { 0xB0u, 0xC6u, 0x2Eu, 0x8Du, 0x7Au, 0x5Fu, 0x91u, 0x34u } }

/* File name that follows the interface path when a device file is opened. */
#define VKSSIM_FILE_SUFFIX u"\\VELANTIS\\742API"

/* Frame sizes and header offsets. */
#define VKSSIM_REQUEST_SIZE 2824u
#define VKSSIM_REPLY_SIZE 8224u
#define VKSSIM_HEADER_SIZE 24u
#define VKSSIM_FORMAT_WORD 100u

#define VKSSIM_REQ_SIZE 0u
#define VKSSIM_REQ_TYPE 4u
#define VKSSIM_REQ_CHANNEL 8u
#define VKSSIM_REQ_HANDLE 12u
#define VKSSIM_REQ_SUBINDEX 16u
#define VKSSIM_REQ_FORMAT 20u

#define VKSSIM_REPLY_SIZE_WORD 0u
#define VKSSIM_REPLY_HANDLE 4u
#define VKSSIM_REPLY_VALUE 8u
#define VKSSIM_REPLY_STATUS 12u
#define VKSSIM_REPLY_FORMAT 16u
#define VKSSIM_PAYLOAD 24u

/* Command codes: device type 0x22, buffered, read and write access. */
#define VKSSIM_IOCTL_GET_DEVICE_INFO 0x22C404u
#define VKSSIM_IOCTL_OPEN 0x22C408u
#define VKSSIM_IOCTL_CLOSE 0x22C40Cu
#define VKSSIM_IOCTL_GET_PARAMETER 0x22C410u
#define VKSSIM_IOCTL_SET_PARAMETER 0x22C414u
#define VKSSIM_IOCTL_SET_STATE 0x22C418u
#define VKSSIM_IOCTL_GET_INPUT_COUNT 0x22C430u
#define VKSSIM_IOCTL_GET_RENDER_INPUT_NAME 0x22C434u
#define VKSSIM_IOCTL_CONNECT_SOURCE 0x22C438u
#define VKSSIM_IOCTL_EVENT_REQUEST 0x22C454u
#define VKSSIM_IOCTL_DEVICE_SET_NOTIFY 0x22C4E8u
#define VKSSIM_IOCTL_AUDIO_LOAD 0x22C4C8u
#define VKSSIM_IOCTL_AUDIO_START 0x22C4CCu
#define VKSSIM_IOCTL_AUDIO_STOP 0x22C4D0u

/* Payload words of VKSSIM_IOCTL_DEVICE_SET_NOTIFY. */
#define VKSSIM_NOTIFY_REGISTER 0u
#define VKSSIM_NOTIFY_REREGISTER 1u
#define VKSSIM_NOTIFY_DEREGISTER 2u

/* Parameter selectors. */
#define VKSSIM_SELECTOR_CURRENT 0u
#define VKSSIM_SELECTOR_MINIMUM 1u
#define VKSSIM_SELECTOR_MAXIMUM 2u
#define VKSSIM_SELECTOR_DEFAULT 3u
#define VKSSIM_SELECTOR_TEST 4u

/* Full sizes of the parameter blocks. */
#define VKSSIM_DECODER_BLOCK_SIZE 480u
#define VKSSIM_ENCODER_BLOCK_SIZE 2208u
#define VKSSIM_NETWORK_BLOCK_SIZE 40u

/* Object and input kinds. */
#define VKSSIM_TYPE_NETWORK 0u
#define VKSSIM_TYPE_DECODER 1u
#define VKSSIM_TYPE_ENCODER 2u
#define VKSSIM_TYPE_DISCOVERY 3u
#define VKSSIM_TYPE_COUNT 4u

#endif
