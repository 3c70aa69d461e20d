#include "common/zipped_image.hpp"

#include "common/fatal_stop.hpp"

#if KORALUX_HAVE_MINIZIP
#include <unzip.h>

#include <memory>
#endif

namespace koralux {

#if KORALUX_HAVE_MINIZIP

namespace {

// Larger than the largest floppy disk (2.88 MB), so a bigger file is not a disk image.
constexpr std::uint64_t kLargestImage = 4 * 1024 * 1024;

struct ZipCloser {
  void operator()(void* zip) const { unzClose(zip); }
};

}  // namespace

std::vector<std::uint8_t> readZippedImage(const std::string& path) {
  const std::unique_ptr<void, ZipCloser> zip(unzOpen64(path.c_str()));
  if (!zip) throw FatalStop(path, "cannot be read as a zip file (.imz)");
  int files = 0;
  unz64_file_pos image{};
  unz_file_info64 imageInfo{};
  for (int status = unzGoToFirstFile(zip.get()); status == UNZ_OK;
       status = unzGoToNextFile(zip.get())) {
    unz_file_info64 info{};
    char name[512];
    if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      throw FatalStop(path, "cannot be read as a zip file (.imz): its list of files is damaged");
    }
    const std::string text(name);
    if (!text.empty() && text.back() == '/') continue;  // a folder
    ++files;
    unzGetFilePos64(zip.get(), &image);
    imageInfo = info;
  }
  if (files != 1) {
    throw FatalStop(
        path, "holds " + std::to_string(files) + " files; a zipped disk image (.imz) holds one");
  }
  if (imageInfo.uncompressed_size > kLargestImage) {
    throw FatalStop(path, "holds a file of " + std::to_string(imageInfo.uncompressed_size) +
                              " bytes, larger than any floppy disk");
  }
  if (unzGoToFilePos64(zip.get(), &image) != UNZ_OK || unzOpenCurrentFile(zip.get()) != UNZ_OK) {
    throw FatalStop(path, "the disk image in it cannot be unpacked");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(imageInfo.uncompressed_size));
  const int read = bytes.empty() ? 0
                                 : unzReadCurrentFile(zip.get(), bytes.data(),
                                                      static_cast<unsigned>(bytes.size()));
  const int closed = unzCloseCurrentFile(zip.get());
  if (read != static_cast<int>(bytes.size()) || closed != UNZ_OK) {
    throw FatalStop(path, "the disk image in it is damaged: it does not unpack whole");
  }
  return bytes;
}

bool readsZippedImages() {
  return true;
}

#else

std::vector<std::uint8_t> readZippedImage(const std::string& path) {
  throw FatalStop(path,
                  "zipped disk images (.imz) are not read by this build of koralux-cli; unpack "
                  "the image (.ima) from it and give that");
}

bool readsZippedImages() {
  return false;
}

#endif

}  // namespace koralux
