#include "common/gz_file.h"

#include <zlib.h>

GzFile gz_open(const std::string& path, const char* mode)
{
    return gzopen(path.c_str(), mode);
}

GzFile gz_dopen(int fd, const char* mode)
{
    return gzdopen(fd, mode);
}

int gz_buffer(GzFile file, unsigned size)
{
    return gzbuffer(file, size);
}

int gz_setparams(GzFile file, int level, int strategy)
{
    return gzsetparams(file, level, strategy);
}

int gz_read(GzFile file, void* buffer, unsigned size)
{
    return gzread(file, buffer, size);
}

int gz_write(GzFile file, const void* buffer, unsigned size)
{
    return gzwrite(file, buffer, size);
}

int gz_flush(GzFile file, int flush)
{
    return gzflush(file, flush);
}

int gz_close(GzFile file)
{
    return gzclose(file);
}

std::string gz_error(GzFile file)
{
    int code = Z_OK;
    const char* text = gzerror(file, &code);
    return code == Z_OK || text == nullptr ? std::string() : std::string(text);
}
