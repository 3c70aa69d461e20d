#include "tools/xg_backing.hpp"

#include <array>

namespace koralux {

namespace {

constexpr int kFirstXgChannel = 5;
constexpr int kLastXgChannel = 14;
constexpr int kDrumChannel = 10;
constexpr int kRegistrationChannel = 16;

constexpr std::uint8_t kBankSelect = 0;
constexpr std::uint8_t kBankSelectLsb = 32;
constexpr std::uint8_t kVolume = 7;
constexpr std::uint8_t kPan = 10;
constexpr std::uint8_t kReverbSend = 91;
constexpr int kDrumBank = 127;

// Programs (General MIDI numbering from 0) by what the composer plays on the channel.
constexpr std::array<int, 4> kChordVoices = {0, 4, 5, 16};    // pianos, organ
constexpr std::array<int, 4> kBassVoices = {32, 33, 34, 35};  // basses
constexpr std::array<int, 4> kPadVoices = {48, 49, 50, 89};   // strings, pad
constexpr std::array<int, 8> kLeadVoices = {56, 65, 66, 68, 71, 73, 80, 81};
constexpr std::array<int, 4> kDrumKits = {0, 8, 16, 25};
// XG variations (bank select LSB) of a voice; mostly the plain one.
constexpr std::array<int, 6> kVariations = {0, 0, 0, 1, 8, 16};

const std::vector<std::uint8_t> kGmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::vector<std::uint8_t> kXgSystemOn = {0xF0, 0x43, 0x10, 0x4C, 0x00,
                                               0x00, 0x7E, 0x00, 0xF7};

// An XG parameter change: address high, mid, low, then one data byte.
std::vector<std::uint8_t> xgParameter(int high, int mid, int low, int data) {
  return {0xF0,          0x43,          0x10,           0x4C, dataByte(high),
          dataByte(mid), dataByte(low), dataByte(data), 0xF7};
}

}  // namespace

XgBacking::XgBacking(const GeneratorOptions& options, const BeatGrid& grid, Random& random,
                     EventSchedule& schedule)
    : grid_(grid),
      random_(random),
      schedule_(schedule),
      registrations_((options.channels & channelBit(kRegistrationChannel)) != 0) {
  for (int channel = kFirstXgChannel; channel <= kLastXgChannel; ++channel) {
    if ((options.channels & channelBit(channel)) != 0) channels_.push_back(channel);
  }
}

XgBacking::Voice XgBacking::chooseVoice(int channel) {
  Voice voice;
  voice.channel = channel;
  switch (channel) {
    case 5:
      voice.program = random_.pick(kChordVoices);
      break;
    case 6:
      voice.program = random_.pick(kBassVoices);
      break;
    case 7:
      voice.program = random_.pick(kPadVoices);
      break;
    case kDrumChannel:
      voice.bank = kDrumBank;
      voice.program = random_.pick(kDrumKits);
      return voice;
    default:
      voice.program = random_.pick(kLeadVoices);
      break;
  }
  voice.variation = random_.pick(kVariations);
  return voice;
}

// Bank select (MSB, then LSB) before the program change, as the tone generator needs them.
void XgBacking::selectVoice(std::int64_t ms, const Voice& voice) {
  schedule_.add(ms, Role::Other, controlChange(voice.channel, kBankSelect, voice.bank));
  schedule_.add(ms, Role::Other, controlChange(voice.channel, kBankSelectLsb, voice.variation));
  schedule_.add(ms, Role::Other,
                {statusByte(kProgramChange, voice.channel), dataByte(voice.program)});
}

void XgBacking::writeSetup(EventEncoder& encoder) {
  encoder.writeBytes(kGmSystemOn);
  encoder.writeBytes(kXgSystemOn);
  // Reverb Hall 1 to Stage 1; chorus Chorus 1 or Celeste 1.
  encoder.writeBytes(xgParameter(0x02, 0x01, 0x00, random_.between(1, 3)));
  encoder.writeBytes(xgParameter(0x02, 0x01, 0x20, random_.between(0x41, 0x42)));
  // The organ's own panel message, which only the organ understands.
  encoder.writeBytes(std::vector<std::uint8_t>{0xF0, 0x43, 0x70, 0x70, 0x40, 0x00, 0xF7});
  for (const int channel : channels_) {
    const Voice voice = chooseVoice(channel);
    encoder.write(controlChange(channel, kBankSelect, voice.bank));
    encoder.write(controlChange(channel, kBankSelectLsb, voice.variation));
    encoder.write({statusByte(kProgramChange, channel), dataByte(voice.program)});
    encoder.write(controlChange(channel, kVolume, random_.between(80, 110)));
    encoder.write(controlChange(channel, kPan, random_.between(24, 104)));
    encoder.write(controlChange(channel, kReverbSend, 40));
  }
  if (registrations_) {
    encoder.write({statusByte(kProgramChange, kRegistrationChannel), 0});
  }
}

// A bend up by as much as a whole tone over a few grid positions, centred again a beat later.
void XgBacking::bend(int channel, std::int64_t position) {
  const int depth = random_.between(1, 4);
  for (int step = 1; step <= depth; ++step) {
    const int value = 8192 + step * 1024;
    schedule_.add(grid_.msAt(position + 2 * step), Role::Other,
                  {statusByte(kPitchBend, channel), dataByte(value & 0x7F), dataByte(value >> 7)});
  }
  schedule_.add(grid_.msAt(position + kPositionsPerBeat), Role::Reset,
                {statusByte(kPitchBend, channel), 0, 0x40});
}

void XgBacking::composeBar(std::int64_t bar) {
  const std::int64_t start = bar * kPositionsPerBar;
  // On the bar line, where the clock marker is: the registration changes with a new phrase.
  if (registrations_ && bar > 0 && bar % 4 == 0 && random_.chance(60)) {
    schedule_.add(grid_.msAt(start), Role::Other,
                  {statusByte(kProgramChange, kRegistrationChannel), dataByte(random_.below(16))});
  }
  for (const int channel : channels_) {
    if (bar > 0 && bar % 8 == 0 && random_.chance(30)) {
      selectVoice(grid_.msAt(start), chooseVoice(channel));
    }
    if (bar > 0 && bar % 8 == 4 && random_.chance(30)) {
      // Multi part parameter 13: the part's reverb send.
      schedule_.addSetupMessage(grid_.msAt(start),
                                xgParameter(0x08, channel - 1, 0x13, random_.between(20, 90)));
    }
    if (channel != kDrumChannel && random_.chance(channel == 6 ? 5 : 15)) {
      bend(channel, start + kPositionsPerBeat * random_.between(0, 2));
    }
  }
}

}  // namespace koralux
