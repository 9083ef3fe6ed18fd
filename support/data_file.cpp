// Opening a data file safely: only a regular file of a sane size, checked before a byte is read.
#include "support/os.h"
#include "support/support.h"

#include <cerrno>
#include <cstring>
#include <string>

FILE* openDataFile(const char* path, long* size, std::string* problem)
{
    FileKind kind = FileKind::OTHER;
    long long bytes = 0;
    FILE* file = openForReading(path, &kind, &bytes);
    if (!file) {
        int error = errno;
        *problem = std::strerror(error);
        errno = error;
        return nullptr;
    }
    int error = 0;
    if (kind == FileKind::DIRECTORY) {
        error = EISDIR;
        *problem = std::strerror(error);
    } else if (kind != FileKind::REGULAR) {
        error = EINVAL;
        const char* name = kind == FileKind::PIPE     ? "a named pipe"
                           : kind == FileKind::DEVICE ? "a device"
                           : kind == FileKind::SOCKET ? "a socket"
                                                      : "a special file";
        *problem = std::string(name) + ", not a regular file";
    } else if (bytes > DATA_FILE_LIMIT) {
        error = EFBIG;
        *problem =
            std::to_string(bytes) + " bytes, over the limit of " + std::to_string(DATA_FILE_LIMIT);
    }
    if (error) {
        std::fclose(file);
        errno = error;
        return nullptr;
    }
    *size = (long)bytes;
    return file;
}
