// Stream addresses in the form the driver takes: "file://" streams are fed
// from a local file, "sdp://" streams carry their session description, and
// "udp://" addresses name a multicast group with "@".
#include "objects/device_objects.h"

#include "core/log.h"
#include "objects/user_handle.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kSdpMaxBytes = 2048;

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// Longest "file://" address whose path is looked up (the longest URL Windows
// handles); longer ones name no file that can be opened.
constexpr int kMaxUrlUnits = 2084;

// Opens an 8-bit path in `codePage` for reading.
HANDLE OpenForReading(const char* path, UINT codePage) {
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(codePage, 0, path, -1, wide, MAX_PATH) == 0) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

VKSERROR PrepareFile(UserHandle* object, const char* address, UINT codePage, PreparedAddress* prepared) {
    // PathCreateFromUrlA takes and gives text in the ANSI code page: an address
    // in UTF-8 (from a wide open) is put into that code page first, and the
    // path is widened from it.
    char ansiAddress[kMaxUrlUnits * 2];
    const char* url = address;
    if (codePage != CP_ACP) {
        WCHAR wide[kMaxUrlUnits];
        if (MultiByteToWideChar(codePage, 0, address, -1, wide, kMaxUrlUnits) == 0 ||
            WideCharToMultiByte(CP_ACP, 0, wide, -1, ansiAddress, sizeof(ansiAddress), nullptr, nullptr) == 0) {
            return VKSERROR_INVALID_INPUT;
        }
        url = ansiAddress;
    }
    char path[MAX_PATH];
    DWORD pathLength = MAX_PATH;
    if (FAILED(PathCreateFromUrlA(url, path, &pathLength, 0))) return VKSERROR_INVALID_INPUT;
    HANDLE file = OpenForReading(path, CP_ACP);
    if (file == INVALID_HANDLE_VALUE) return VKSERROR_INVALID_INPUT;
    object->hPlaybackFile = file;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return VKSERROR_INVALID_INPUT;
    prepared->text = address;
    prepared->length = static_cast<ULONGLONG>(size.QuadPart);
    return VKSERROR_NO_ERROR;
}

// Reads the description file named in an "sdp://" address and builds
// "<address> URL<description> SDP". The caller's text is not changed: the
// backslashes of the file name are turned into slashes in the copy sent.
VKSERROR PrepareSdp(DWORD index, HVKS* out, UserHandle* object, const char* address, UINT codePage,
                    PreparedAddress* prepared) {
    const size_t addressLength = std::strlen(address);
    char* rewritten = static_cast<char*>(std::malloc(addressLength + 1));
    if (rewritten == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
    std::memcpy(rewritten, address, addressLength + 1);
    char* name = rewritten + (StartsWith(rewritten, "sdp:///") ? 7 : 6);
    for (char* c = name; *c != 0; ++c) {
        if (*c == '\\') *c = '/';
    }

    VKSERROR status = VKSERROR_NO_ERROR;
    char* combined = nullptr;
    object->hDescriptionFile = OpenForReading(name, codePage);
    if (object->hDescriptionFile == INVALID_HANDLE_VALUE) {
        object->hDescriptionFile = nullptr;
        status = VKSERROR_INVALID_INPUT;
    }
    LARGE_INTEGER size{};
    if (status == VKSERROR_NO_ERROR && !GetFileSizeEx(object->hDescriptionFile, &size)) status = VKSERROR_INVALID_INPUT;
    // A description longer than the driver takes is refused before it is read.
    if (status == VKSERROR_NO_ERROR && size.QuadPart > kSdpMaxBytes) {
        LogError(WSTR("DeviceOpen: SDP is too long (%d), device(%u) pHVKS(%p) pURL(%p)(%S)\n"),
                 static_cast<int>(size.QuadPart > 0x7FFFFFFF ? 0x7FFFFFFF : size.QuadPart), index, out, address,
                 address);
        status = VKSERROR_INVALID_INPUT;
    }
    const DWORD fileSize = static_cast<DWORD>(size.QuadPart);
    if (status == VKSERROR_NO_ERROR) {
        object->pDescriptionText = static_cast<char*>(std::calloc(fileSize + 1, 1));
        if (object->pDescriptionText == nullptr) {
            LogError(WSTR("DeviceOpen: Not enough memory for SDP bufferd, evice(%u) pHVKS(%p) pURL(%p)(%S)\n"), index,
                     out, address, address);
            status = VKSERROR_INSUFFICIENT_MEMORY;
        }
    }
    DWORD read = 0;
    if (status == VKSERROR_NO_ERROR &&
        !ReadFile(object->hDescriptionFile, object->pDescriptionText, fileSize, &read, nullptr)) {
        LogError(WSTR("DeviceOpen: Failed to ReadFile with SDP data, device(%u) pHVKS(%p) pURL(%p)(%S)\n"), index, out,
                 address, address);
        status = VKSERROR_INVALID_INPUT;
    }
    if (status == VKSERROR_NO_ERROR) {
        LogTrace(WSTR("DeviceOpen: Read SDP Data\n\n%S\n\n"), object->pDescriptionText);
        if (read > kSdpMaxBytes) {
            LogError(WSTR("DeviceOpen: SDP is too long (%d), device(%u) pHVKS(%p) pURL(%p)(%S)\n"),
                     static_cast<int>(read), index, out, address, address);
            status = VKSERROR_INVALID_INPUT;
        }
    }
    if (status == VKSERROR_NO_ERROR) {
        const size_t combinedSize = fileSize + addressLength + 9;
        combined = static_cast<char*>(std::calloc(combinedSize, 1));
        if (combined == nullptr) {
            LogError(WSTR("DeviceOpen: Not enough memory for lenURL, device(%u) pHVKS(%p) pURL(%p)(%S)\n"), index, out,
                     address, address);
            status = VKSERROR_INSUFFICIENT_MEMORY;
        } else {
            std::memcpy(combined, rewritten, addressLength);
            std::memcpy(combined + addressLength, " URL", 4);
            std::memcpy(combined + addressLength + 4, object->pDescriptionText, read);
            std::memcpy(combined + addressLength + 4 + read, " SDP", 4);
            if (std::strstr(combined, "m=video") == nullptr) {
                LogError(WSTR("DeviceOpen: 'm=video' is not present in SDP, won't support it, device(%u) pHVKS(%p) "
                              "pURL(%p)(%S)\n"),
                         index, out, address, address);
                status = VKSERROR_INVALID_INPUT;
                std::free(combined);
                combined = nullptr;
            } else {
                prepared->text = combined;
                prepared->owned = combined;
                prepared->size = static_cast<DWORD>(combinedSize);
                prepared->length = 0;
            }
        }
    }
    if (object->hDescriptionFile != nullptr) CloseHandle(object->hDescriptionFile);
    object->hDescriptionFile = nullptr;
    std::free(object->pDescriptionText);
    object->pDescriptionText = nullptr;
    std::free(rewritten);
    return status;
}

VKSERROR PrepareUdp(const char* address, PreparedAddress* prepared) {
    const size_t length = std::strlen(address);
    const bool hasAt = std::strchr(address, '@') != nullptr;
    char* copy = static_cast<char*>(std::malloc(length + (hasAt ? 1 : 2)));
    if (copy == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
    if (hasAt) {
        std::memcpy(copy, address, length + 1);
    } else {
        std::memcpy(copy, address, 6);
        copy[6] = '@';
        std::memcpy(copy + 7, address + 6, length - 6 + 1);
    }
    prepared->text = copy;
    prepared->owned = copy;
    prepared->length = 0;
    return VKSERROR_NO_ERROR;
}

}  // namespace

VKSERROR PrepareStreamAddress(DWORD index, HVKS* out, UserHandle* object, const char* address, UINT codePage,
                              PreparedAddress* prepared) {
    *prepared = PreparedAddress{};
    if (address == nullptr) return VKSERROR_NO_ERROR;
    VKSERROR status;
    if (StartsWith(address, "file://")) {
        status = PrepareFile(object, address, codePage, prepared);
    } else if (StartsWith(address, "sdp://")) {
        status = PrepareSdp(index, out, object, address, codePage, prepared);
    } else if (StartsWith(address, "udp://")) {
        status = PrepareUdp(address, prepared);
    } else {
        prepared->text = address;
        prepared->length = std::strlen(address);
        status = VKSERROR_NO_ERROR;
    }
    // The size sent is always the text's length with its terminator, except
    // for a description, whose whole buffer is sent.
    if (status == VKSERROR_NO_ERROR && prepared->size == 0) {
        prepared->size = static_cast<DWORD>(std::strlen(prepared->text) + 1);
    }
    return status;
}
