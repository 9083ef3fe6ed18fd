// Opening a data file safely: only a regular file of a sane size, checked before a byte is read.
#include "support/support.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

FILE* openDataFile(const char* path, long* size, std::string* problem)
{
    // Non-blocking, so a pipe with no writer opens at once and is refused below.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        *problem = std::strerror(error);
        errno = error;
        return nullptr;
    }
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0) {
        error = errno;
        *problem = std::strerror(error);
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
        *problem = std::strerror(error);
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
        const char* kind = S_ISFIFO(st.st_mode)                         ? "a named pipe"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                           : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                        : "a special file";
        *problem = std::string(kind) + ", not a regular file";
    } else if ((long long)st.st_size > DATA_FILE_LIMIT) {
        error = EFBIG;
        *problem = std::to_string((long long)st.st_size) + " bytes, over the limit of " +
                   std::to_string(DATA_FILE_LIMIT);
    }
    FILE* file = nullptr;
    if (!error) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = fdopen(fd, "rb");
        if (!file) {
            error = errno;
            *problem = std::strerror(error);
        }
    }
    if (!file) {
        close(fd);
        errno = error;
        return nullptr;
    }
    *size = (long)st.st_size;
    return file;
}
