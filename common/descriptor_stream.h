#pragma once
// An output stream on a file descriptor that the caller opened itself, with flags an
// std::ofstream cannot give (O_EXCL, O_NOFOLLOW). It takes the descriptor over and closes it
// with the stream. For the calls the writers make it behaves as std::ofstream does: is_open,
// close (a failed close sets failbit), write, flush and the state flags.
//   DescriptorStream out;
//   out.attach(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
//   out << text; out.close(); if (out.fail()) ...
#include <ext/stdio_filebuf.h>

#include <memory>
#include <ostream>

class DescriptorStream : public std::ostream {
public:
    DescriptorStream() : std::ostream(nullptr) {}
    DescriptorStream(const DescriptorStream&) = delete;
    DescriptorStream& operator=(const DescriptorStream&) = delete;

    // Writes to fd from now on (a file open before is closed first); the state flags are
    // cleared. A descriptor that cannot be taken over is closed and leaves badbit set.
    void attach(int fd);
    bool is_open() const { return buffer_ && buffer_->is_open(); }
    // Writes what is buffered and closes the descriptor; failbit when that fails or when
    // nothing was open.
    void close();

private:
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buffer_;
};
