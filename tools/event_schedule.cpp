#include "tools/event_schedule.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

namespace koralux {

namespace {

std::int64_t sortKey(std::int64_t ms, Role role) noexcept {
  int place = 2;
  if (role == Role::Marker) place = 0;
  if (role == Role::Release) place = 1;
  if (role == Role::NoteOn) place = 3;
  return ms * 4 + place;
}

}  // namespace

EventSchedule::EventSchedule(const BeatGrid& grid, bool clockMarkers, Random* looseTiming,
                             EventEncoder& encoder) noexcept
    : grid_(grid),
      clockMarkers_(clockMarkers),
      looseTiming_(looseTiming),
      encoder_(encoder),
      nextMarkerMs_(grid.msAt(1)),
      markerRemainder_((60000 + grid.perMinute() / 2) % grid.perMinute()),
      markerStep_(60000 / grid.perMinute()),
      markerStepRemainder_(60000 % grid.perMinute()) {}

void EventSchedule::add(std::int64_t ms, Role role, const Message& message) {
  push(ms, role, message, 0);
}

void EventSchedule::addSystemExclusive(std::int64_t ms, std::uint16_t payload) {
  push(ms, Role::SystemExclusive, Message(), payload);
}

void EventSchedule::addSetupMessage(std::int64_t ms, std::vector<std::uint8_t> message) {
  setupMessages_.push_back(std::move(message));
  push(ms, Role::SetupMessage, Message(), static_cast<std::uint32_t>(setupMessages_.size() - 1));
}

void EventSchedule::push(std::int64_t ms, Role role, const Message& message,
                         std::uint32_t payload) {
  Scheduled event;
  event.key = sortKey(ms, role);
  event.sequence = sequence_++;
  event.role = role;
  event.message = message;
  event.payload = payload;
  pending_.push_back(event);
}

bool EventSchedule::writeBefore(std::int64_t limit, const PerformanceLength& length) {
  sortPending();
  std::size_t next = 0;
  bool ended = false;
  for (;;) {
    const bool eventDue = next < pending_.size() && pending_[next].ms() < limit;
    const bool markerDue = clockMarkers_ && nextMarkerMs_ < limit;
    if (!eventDue && !markerDue) break;
    const bool marker =
        markerDue && (!eventDue || nextMarkerMs_ < pending_[next].ms() ||
                      (nextMarkerMs_ == pending_[next].ms() && !eventBeforeMarker()));
    if (length.reached(marker ? nextMarkerMs_ : pending_[next].ms(), encoder_.size())) {
      ended = true;
      break;
    }
    if (marker) {
      encoder_.timeTo(nextMarkerMs_);
      encoder_.write({kMarker, kClockMarker});
      stepMarker();
    } else {
      write(pending_[next++]);
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(next));
  sorted_ = pending_.size();
  return ended;
}

void EventSchedule::finish() {
  sortPending();
  for (const Scheduled& event : pending_) {
    if ((event.role == Role::Release && sounding_[keyIndex(event.message)]) ||
        event.role == Role::Reset) {
      write(event);
    }
  }
  pending_.clear();
}

// The events left from earlier bars are in order already; the bar's new ones are sorted and
// merged with them, the earlier bars' first on a tie, so that ties keep the order of adding.
void EventSchedule::sortPending() {
  const auto middle = pending_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  std::sort(middle, pending_.end(), [](const Scheduled& a, const Scheduled& b) {
    return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
  });
  merged_.clear();
  std::merge(pending_.begin(), middle, middle, pending_.end(), std::back_inserter(merged_),
             [](const Scheduled& a, const Scheduled& b) { return a.key < b.key; });
  pending_.swap(merged_);
  sorted_ = pending_.size();
  sequence_ = 0;
}

void EventSchedule::write(const Scheduled& event) {
  encoder_.timeTo(event.ms());
  if (event.role == Role::SystemExclusive) {
    encoder_.writeSystemExclusive(static_cast<std::uint16_t>(event.payload));
    return;
  }
  if (event.role == Role::SetupMessage) {
    encoder_.writeBytes(setupMessages_[event.payload]);
    return;
  }
  encoder_.write(event.message);
  if (event.role == Role::NoteOn) sounding_[keyIndex(event.message)] = true;
  if (event.role == Role::Release) sounding_[keyIndex(event.message)] = false;
}

bool EventSchedule::eventBeforeMarker() noexcept {
  return looseTiming_ != nullptr && looseTiming_->chance(50);
}

// The next clock marker's millisecond, as grid_.msAt(position + 1) but without a division: the
// numerator of msAt grows by 60000 per position.
void EventSchedule::stepMarker() noexcept {
  nextMarkerMs_ += markerStep_;
  markerRemainder_ += markerStepRemainder_;
  if (markerRemainder_ >= grid_.perMinute()) {
    markerRemainder_ -= grid_.perMinute();
    ++nextMarkerMs_;
  }
}

}  // namespace koralux
