#include "cli/disk_description.hpp"

#include <nlohmann/json.hpp>

namespace koralux {

namespace {

using Json = nlohmann::ordered_json;

Json fileJson(const DiskFile& file) {
  return {{"path", file.path},
          {"sizeBytes", file.size},
          {"state", file.damaged() ? "damaged" : "fine"},
          {"damage", file.damaged() ? Json(file.damage) : Json(nullptr)},
          {"warnings", file.warnings}};
}

Json songJson(const DiskDescription& disk, const DiskSongDescription& song) {
  const DiskFile& file = disk.disk.files[song.song.file];
  Json json = song.performance ? Json::parse(descriptionJson(*song.performance)) : Json::object();
  json["diskImage"] = disk.image;
  json["diskPath"] = file.path;
  json["slot"] = song.song.slot >= 0 ? Json(song.song.slot) : Json(nullptr);
  json["diskSizeBytes"] = file.size;
  json["state"] = song.performance ? "fine" : "damaged";
  json["damage"] = song.performance ? Json(nullptr) : Json(song.problem);
  json["warnings"] = file.warnings;
  json["registrationFile"] =
      song.song.registration ? Json(disk.disk.files[*song.song.registration].path) : Json(nullptr);
  return json;
}

Json diskJson(const DiskDescription& description) {
  const DiskImage& disk = description.disk;
  const DiskGeometry& g = disk.geometry;
  Json songs = Json::array();
  for (const DiskSongDescription& song : description.songs) {
    songs.push_back(songJson(description, song));
  }
  const auto files = [&disk](const std::vector<std::size_t>& indices) {
    Json list = Json::array();
    for (std::size_t i : indices) list.push_back(fileJson(disk.files[i]));
    return list;
  };
  return {
      {"diskImage", description.image},
      {"format", g.format},
      {"geometrySource", g.source == GeometrySource::BootSector ? "bootSector" : "imageSize"},
      {"bootSectorProblem",
       g.bootSectorProblem.empty() ? Json(nullptr) : Json(g.bootSectorProblem)},
      {"sectors", g.sectors},
      {"bytesPerSector", g.bytesPerSector},
      {"sectorsPerCluster", g.sectorsPerCluster},
      {"fatCopies", g.fatCount},
      {"sectorsPerFat", g.sectorsPerFat},
      {"rootEntries", g.rootEntries},
      {"label", disk.label.empty() ? Json(nullptr) : Json(disk.label)},
      {"fatNote", disk.fatNote.empty() ? Json(nullptr) : Json(disk.fatNote)},
      {"problems", disk.problems},
      {"songs", songs},
      {"registrationFiles", files(description.contents.registrations)},
      {"otherFiles", files(description.contents.others)},
  };
}

// File names need not be UTF-8; a byte that is not becomes U+FFFD rather than an error.
std::string text(const Json& json, int indent) {
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string diskSongJson(const DiskDescription& disk, const DiskSongDescription& song) {
  return text(songJson(disk, song), -1);
}

std::string infoJson(std::span<const InfoEntry> entries) {
  Json array = Json::array();
  for (const InfoEntry& entry : entries) {
    if (const auto* performance = std::get_if<PerformanceDescription>(&entry)) {
      array.push_back(Json::parse(descriptionJson(*performance)));
    } else {
      array.push_back(diskJson(std::get<DiskDescription>(entry)));
    }
  }
  return text(array, 2) + '\n';
}

}  // namespace koralux
