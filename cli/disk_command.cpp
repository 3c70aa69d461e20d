#include "cli/disk_command.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <ostream>

#include "common/failure_message.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_plan.hpp"

namespace koralux::cli {

namespace {

namespace fs = std::filesystem;

// `text` in a column `width` wide, and at least one space after it.
std::string padded(std::string text, std::size_t width) {
  text.resize(std::max(width, text.size() + 1), ' ');
  return text;
}

std::string plural(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

std::string line(std::string_view label, const std::string& value) {
  return padded(std::string(label), 17) + value + '\n';
}

std::string secondsText(std::int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                static_cast<long long>(milliseconds % 1000));
  return text;
}

std::string fileLine(const DiskFile& file) {
  std::string text = "  " + padded(file.path, 14) + std::to_string(file.size) + " bytes";
  if (file.damaged()) text += ", damaged: " + file.damage;
  text += '\n';
  for (const std::string& warning : file.warnings) text += "      warning: " + warning + '\n';
  return text;
}

}  // namespace

NamedSong readNamedSong(const std::string& path, const std::string& which) {
  LoadedDisk loaded = loadDisk(path);
  const auto song = findSong(loaded.disk, loaded.contents, which);
  if (!song) {
    throw FatalStop(path, "holds no song " + which + " (" +
                              std::to_string(loaded.contents.songs.size()) +
                              " songs; --info lists them)");
  }
  DiskFile& file = loaded.disk.files[song->file];
  const std::string label = diskFileLabel(path, file);
  if (file.damaged()) throw FatalStop(label, "damaged: " + file.damage);
  return {label, std::move(file.bytes), std::move(file.warnings)};
}

DiskDescription describeDisk(const LoadedDisk& loaded, const ConversionSettings& settings) {
  DiskDescription description{loaded.path, loaded.disk, loaded.contents, {}};
  for (const DiskSong& song : loaded.contents.songs) {
    const DiskFile& file = loaded.disk.files[song.file];
    DiskSongDescription entry{song, std::nullopt, {}};
    if (file.damaged()) {
      entry.problem = file.damage;
    } else {
      ConversionSettings named = settings;
      named.inputPath = diskFileLabel(loaded.path, file);
      try {
        entry.performance =
            PerformanceDescription{named.inputPath, planConversion(file.bytes, named)};
      } catch (const FatalStop& stop) {
        entry.problem = stop.description();
      }
    }
    description.songs.push_back(std::move(entry));
  }
  return description;
}

void writeDiskInfoText(std::ostream& out, const DiskDescription& description) {
  const DiskImage& disk = description.disk;
  const DiskGeometry& g = disk.geometry;
  std::string text = line("Disk image:", description.image);
  text += line("Format:", g.format + (g.source == GeometrySource::BootSector
                                          ? ", from the boot sector"
                                          : ", from the image's size: the boot sector is not "
                                            "usable (" +
                                                g.bootSectorProblem + ")"));
  text += line("Layout:", plural(g.sectors, "sector", "sectors") + " of " +
                              std::to_string(g.bytesPerSector) + " bytes, " +
                              std::to_string(g.sectorsPerCluster) + " a cluster, " +
                              plural(g.fatCount, "FAT", "FATs") + " of " +
                              plural(g.sectorsPerFat, "sector", "sectors") + ", " +
                              std::to_string(g.rootEntries) + " root entries");
  text += line("Label:", disk.label.empty() ? "none" : disk.label);
  text += line("FAT:", disk.fatNote.empty() ? "the copies agree" : disk.fatNote);
  for (const std::string& problem : disk.problems) text += line("Problem:", problem);
  text += line("Songs:", std::to_string(description.songs.size()));
  for (const DiskSongDescription& entry : description.songs) {
    const DiskFile& file = disk.files[entry.song.file];
    text += "  " + padded(entry.song.slot >= 0 ? std::to_string(entry.song.slot) : "-", 4) +
            padded(file.path, 14) + padded(std::to_string(file.size) + " bytes", 14);
    if (entry.performance) {
      const ConversionPlan& plan = entry.performance->plan;
      text += padded(secondsText(plan.analysis.milliseconds) + " s", 12) +
              padded(std::to_string(plan.analysis.tempo) + " bpm", 9) +
              padded(std::to_string(plan.tracks.size()) + " parts", 10) +
              padded(std::to_string(plan.analysis.noteOnCount) + " notes", 13) + "fine";
    } else {
      text += "damaged: " + entry.problem;
    }
    if (entry.song.registration) {
      text += ", registration " + disk.files[*entry.song.registration].path;
    }
    text += '\n';
    for (const std::string& warning : file.warnings) text += "      warning: " + warning + '\n';
  }
  text += line("Registrations:", std::to_string(description.contents.registrations.size()));
  for (std::size_t i : description.contents.registrations) text += fileLine(disk.files[i]);
  text += line("Other files:", std::to_string(description.contents.others.size()));
  for (std::size_t i : description.contents.others) text += fileLine(disk.files[i]);
  out << text;
}

int runExtractCommand(const std::vector<std::string>& images, const std::string& outputDir,
                      bool quiet, std::ostream& out, std::ostream& err) {
  bool failed = false;
  std::size_t written = 0;
  std::size_t damaged = 0;
  for (const std::string& image : images) {
    try {
      const LoadedDisk loaded = loadDisk(image);
      fs::path folder = pathFromUtf8(outputDir.empty() ? diskFolderName(image) : outputDir);
      if (!outputDir.empty() && images.size() > 1) {
        folder /= pathFromUtf8(diskFolderName(image)).filename();
      }
      for (const std::string& problem : loaded.disk.problems) {
        err << "koralux-cli: " << image << ": " << problem << '\n';
      }
      for (const DiskFile& file : loaded.disk.files) {
        const fs::path target = folder / pathFromUtf8(file.path);
        try {
          fs::create_directories(target.parent_path());
          writeFileAtomically(utf8FromPath(target), file.bytes);
          ++written;
        } catch (...) {
          failed = true;
          err << "koralux-cli: " << failureMessage(std::current_exception(), utf8FromPath(target))
              << '\n';
          continue;
        }
        if (file.damaged()) {
          ++damaged;
          failed = true;
          err << "koralux-cli: " << diskFileLabel(image, file) << ": damaged: " << file.damage
              << "; its " << file.bytes.size() << " of " << file.size << " bytes that read are in "
              << utf8FromPath(target) << '\n';
        } else if (!quiet) {
          out << "Wrote " << utf8FromPath(target) << " (" << file.size << " bytes)\n";
        }
        for (const std::string& warning : file.warnings) {
          err << "koralux-cli: " << diskFileLabel(image, file) << ": warning: " << warning << '\n';
        }
      }
    } catch (...) {
      failed = true;
      err << "koralux-cli: " << failureMessage(std::current_exception(), image) << '\n';
    }
  }
  if (!quiet) {
    err << "Extracted " << written << (written == 1 ? " file" : " files");
    if (damaged > 0) err << ", " << damaged << " of them damaged";
    err << '\n';
  }
  return failed ? 1 : 0;
}

}  // namespace koralux::cli
