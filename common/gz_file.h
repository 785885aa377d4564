#pragma once
// Streaming gzip files (zlib's gz file functions) for quillon-classic's FASTQ output and lane
// merge, behind one small interface so callers need not include zlib:
//   GzFile file = gz_open(path, "wb");   // nullptr when it cannot be opened
//   gz_buffer(file, 2048000); gz_setparams(file, 4, 0);
//   gz_write(file, text.data(), size); gz_flush(file, Gz_sync_flush); gz_close(file);
// Results are zlib's: gz_write returns the bytes taken (0 on error), gz_read the bytes read
// (-1 on error), the others 0 (Z_OK) on success.
#include <string>

struct gzFile_s;
using GzFile = gzFile_s*;

inline constexpr int Gz_ok = 0;         // Z_OK
inline constexpr int Gz_sync_flush = 2; // Z_SYNC_FLUSH
// The largest count one gz_read or gz_write call accepts; longer texts go in pieces.
inline constexpr unsigned Gz_max_chunk = 1u << 30;

GzFile gz_open(const std::string& path, const char* mode);
// The same on a descriptor opened by the caller; the file takes it over (gz_close closes it).
GzFile gz_dopen(int fd, const char* mode);
int gz_buffer(GzFile file, unsigned size);
int gz_setparams(GzFile file, int level, int strategy);
int gz_read(GzFile file, void* buffer, unsigned size);
int gz_write(GzFile file, const void* buffer, unsigned size);
int gz_flush(GzFile file, int flush);
int gz_close(GzFile file);
// The text of the file's last error ("" when none).
std::string gz_error(GzFile file);
