#pragma once
// One description of a performance for scripts and for the web page: what the file holds and
// what a conversion with the chosen settings writes, as JSON. koralux-cli --info --json prints
// an array of these objects; the web page reads one per file. The fields are documented in
// koralux-cli(1), section JSON.

#include <string>

#include "engine/conversion_plan.hpp"

namespace koralux {

struct PerformanceDescription {
  std::string file;  // the name the performance was given by
  ConversionPlan plan;
};

// One description as a JSON object, on one line. (koralux-cli prints them with the disks'
// descriptions: cli/disk_description.hpp.)
std::string descriptionJson(const PerformanceDescription& description);

}  // namespace koralux
