#include "disk/disk_contents.hpp"

#include <algorithm>

#include "engine/output_name.hpp"

namespace koralux {

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view extensionOf(std::string_view path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

std::string_view stemOf(std::string_view path) {
  const auto extension = extensionOf(path);
  return path.substr(0, path.size() - extension.size() - (extension.empty() ? 0 : 1));
}

// nn of "MDR_nn.EVT" (any case), or -1.
int slotOf(std::string_view path) {
  if (path.size() != 10 || !sameText(path.substr(0, 4), "MDR_") ||
      !sameText(path.substr(6), ".EVT")) {
    return -1;
  }
  if (path[4] < '0' || path[4] > '9' || path[5] < '0' || path[5] > '9') return -1;
  return (path[4] - '0') * 10 + (path[5] - '0');
}

// .B00 or .R00 (the registrations of older models), any two digits.
bool isRegistrationName(std::string_view path) {
  const std::string_view extension = extensionOf(path);
  return extension.size() == 3 && (lower(extension[0]) == 'b' || lower(extension[0]) == 'r') &&
         extension[1] >= '0' && extension[1] <= '9' && extension[2] >= '0' && extension[2] <= '9';
}

}  // namespace

ImageKind imageKindOf(std::string_view path) {
  const std::string_view extension = extensionOf(path);
  for (const std::string_view name : kSectorImageExtensions) {
    if (sameText(extension, name)) return ImageKind::Sectors;
  }
  if (sameText(extension, kZippedImageExtension)) return ImageKind::Zipped;
  if (sameText(extension, "hfe") || sameText(extension, "scp")) return ImageKind::Bitstream;
  return ImageKind::None;
}

std::string diskFolderName(const std::string& imagePath) {
  return std::string(stemOf(imagePath));
}

DiskContents contentsOf(const DiskImage& disk) {
  DiskContents contents;
  std::vector<bool> registration(disk.files.size());
  for (std::size_t i = 0; i < disk.files.size(); ++i) {
    const std::string& path = disk.files[i].path;
    if (!isPerformanceFileName(path)) continue;
    DiskSong song;
    song.file = i;
    song.slot = slotOf(path);
    for (std::size_t j = 0; j < disk.files.size(); ++j) {
      const std::string& other = disk.files[j].path;
      if (!registration[j] && isRegistrationName(other) && sameText(stemOf(other), stemOf(path))) {
        registration[j] = true;
        song.registration = j;
        break;
      }
    }
    contents.songs.push_back(song);
  }
  for (std::size_t i = 0; i < disk.files.size(); ++i) {
    if (registration[i]) {
      contents.registrations.push_back(i);
    } else if (!isPerformanceFileName(disk.files[i].path)) {
      contents.others.push_back(i);
    }
  }
  return contents;
}

std::optional<DiskSong> findSong(const DiskImage& disk, const DiskContents& contents,
                                 std::string_view which) {
  const bool number =
      !which.empty() && which.size() <= 2 &&
      std::all_of(which.begin(), which.end(), [](char c) { return c >= '0' && c <= '9'; });
  for (const DiskSong& song : contents.songs) {
    if (number ? song.slot == std::stoi(std::string(which))
               : sameText(disk.files[song.file].path, which)) {
      return song;
    }
  }
  return std::nullopt;
}

}  // namespace koralux
