#include "common/disk_file.hpp"

#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "common/zipped_image.hpp"
#include "engine/output_name.hpp"

namespace koralux {

LoadedDisk loadDisk(const std::string& path) {
  const ImageKind kind = imageKindOf(path);
  if (kind == ImageKind::Bitstream) throw FatalStop(path, kBitstreamRefusal);
  const std::vector<std::uint8_t> bytes =
      kind == ImageKind::Zipped ? readZippedImage(path) : readWholeFile(path);
  try {
    LoadedDisk loaded{path, readDiskImage(bytes), {}};
    loaded.contents = contentsOf(loaded.disk);
    return loaded;
  } catch (const FatalStop& stop) {
    throw FatalStop(path, stop.description());
  }
}

std::string diskFileLabel(const std::string& imagePath, const DiskFile& file) {
  return imagePath + '/' + file.path;
}

std::string diskSongOutputName(const std::filesystem::path& folder, const DiskFile& song) {
  return derivedOutputName(utf8FromPath(folder / pathFromUtf8(song.path)));
}

}  // namespace koralux
