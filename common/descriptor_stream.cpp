#include "common/descriptor_stream.h"

#include <unistd.h>

void DescriptorStream::attach(int fd)
{
    if (is_open())
        close();
    buffer_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::out | std::ios::binary);
    if (!buffer_->is_open()) {
        buffer_.reset();
        if (fd >= 0)
            ::close(fd);
    }
    rdbuf(buffer_.get());
}

void DescriptorStream::close()
{
    if (!buffer_ || !buffer_->close())
        setstate(std::ios::failbit);
}
