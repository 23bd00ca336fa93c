// Files on POSIX file descriptors; a device name goes to the serial part.
#include "platform/file.h"
#include "platform/comm_internal.h"
#include "platform/kernel_object.h"
#include "platform/sync.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace comm_internal;

DWORD comm_internal::errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTTY:
        return ERROR_BAD_DEVICE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

BOOL comm_internal::fail(DWORD dwError) {
    SetLastError(dwError);
    return FALSE;
}

BOOL comm_internal::failErrno() {
    return fail(errorFromErrno(errno));
}

namespace {

class DiskFile final : public KernelObject {
  public:
    DiskFile(LPCSTR szName, int fd) : KernelObject(szName), fd_(fd) {}
    ~DiskFile() override { ::close(fd_); }
    int fd() const { return fd_; }

  private:
    const int fd_;
};

HANDLE openFile(LPCSTR szFileName, DWORD dwDesiredAccess, DWORD dwFlagsAndAttributes) {
    int access = O_RDONLY;
    if ((dwDesiredAccess & GENERIC_WRITE) != 0)
        access = (dwDesiredAccess & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY;
    // Non-blocking only for the open itself: a FIFO must not hold it up.
    const int fd = ::open(szFileName, access | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failErrno();
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if ((dwFlagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) != 0)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return adoptHandle(std::make_unique<DiskFile>(szFileName, fd));
}

std::optional<std::string_view> deviceName(std::string_view name) {
    for (std::string_view prefix : {"//./", "\\\\.\\"}) {
        if (name.starts_with(prefix))
            return name.substr(prefix.size());
    }
    return std::nullopt;
}

BOOL readFile(DiskFile& file, BYTE* pBuffer, DWORD nToRead, DWORD* pRead) {
    DWORD got = 0;
    while (got < nToRead) {
        const ssize_t n = ::read(file.fd(), pBuffer + got, nToRead - got);
        if (n > 0) {
            got += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *pRead = got;
            return failErrno();
        }
        break; // end of file
    }
    *pRead = got;
    return TRUE;
}

BOOL writeFile(DiskFile& file, const BYTE* pBuffer, DWORD nToWrite, DWORD* pWritten) {
    DWORD done = 0;
    BOOL result = TRUE;
    while (done < nToWrite) {
        const ssize_t n = ::write(file.fd(), pBuffer + done, nToWrite - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            result = n < 0 ? failErrno() : fail(ERROR_GEN_FAILURE);
            break;
        }
    }
    if (pWritten)
        *pWritten = done;
    return result;
}

} // namespace

HANDLE CreateFileA(LPCSTR szFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPVOID,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    if (szFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (const auto device = deviceName(szFileName)) {
        const std::string name(*device);
        return openSerialPort(szFileName, name.c_str(), dwShareMode);
    }
    return openFile(szFileName, dwDesiredAccess, dwFlagsAndAttributes);
}

BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD nNumberOfBytesToRead, DWORD* pNumberOfBytesRead,
              LPVOID) {
    DWORD ignored = 0;
    DWORD* pRead = pNumberOfBytesRead ? pNumberOfBytesRead : &ignored;
    *pRead = 0;
    if (pBuffer == nullptr && nNumberOfBytesToRead > 0)
        return fail(ERROR_INVALID_PARAMETER);
    auto* buffer = static_cast<BYTE*>(pBuffer);
    if (const auto read = readSerialPort(hFile, buffer, nNumberOfBytesToRead, pRead))
        return *read;
    if (auto* file = objectOf<DiskFile>(hFile))
        return readFile(*file, buffer, nNumberOfBytesToRead, pRead);
    return fail(ERROR_INVALID_HANDLE);
}

BOOL WriteFile(HANDLE hFile, const void* pBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* pNumberOfBytesWritten, LPVOID) {
    if (pNumberOfBytesWritten)
        *pNumberOfBytesWritten = 0;
    if (pBuffer == nullptr && nNumberOfBytesToWrite > 0)
        return fail(ERROR_INVALID_PARAMETER);
    const auto* buffer = static_cast<const BYTE*>(pBuffer);
    if (const auto written =
            writeSerialPort(hFile, buffer, nNumberOfBytesToWrite, pNumberOfBytesWritten))
        return *written;
    if (auto* file = objectOf<DiskFile>(hFile))
        return writeFile(*file, buffer, nNumberOfBytesToWrite, pNumberOfBytesWritten);
    return fail(ERROR_INVALID_HANDLE);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* pDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    auto* file = objectOf<DiskFile>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int whence = SEEK_SET;
    if (dwMoveMethod == FILE_CURRENT)
        whence = SEEK_CUR;
    else if (dwMoveMethod == FILE_END)
        whence = SEEK_END;
    else if (dwMoveMethod != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t offset = lDistanceToMove;
    if (pDistanceToMoveHigh) {
        offset = static_cast<off_t>((static_cast<std::uint64_t>(*pDistanceToMoveHigh) << 32) |
                                    static_cast<DWORD>(lDistanceToMove));
    }
    const off_t position = ::lseek(file->fd(), offset, whence);
    if (position < 0) {
        failErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (pDistanceToMoveHigh)
        *pDistanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}
