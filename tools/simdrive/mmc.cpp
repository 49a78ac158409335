// SPDX-License-Identifier: GPL-3.0-or-later
// The MMC packets a drive answers through CDROM_SEND_PACKET and SG_IO,
// from one table of the commands it knows. A command the drive does not
// know gets CHECK CONDITION with ILLEGAL REQUEST, INVALID COMMAND
// OPERATION CODE, as a real drive answers.
#include <linux/cdrom.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tools/cd_text_packs.h"
#include "tools/simdrive/drive.h"

namespace simdrive {

namespace {

constexpr Sense InvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense InvalidField{0x05, 0x24, 0x00};
constexpr Sense OutOfRange{0x05, 0x21, 0x00};
constexpr Sense IllegalMode{0x05, 0x64, 0x00};  // ILLEGAL MODE FOR THIS TRACK
constexpr Sense UnrecoveredRead{0x03, 0x11, 0x00};
constexpr int KilobytesPerX = 176;
// The bytes of a sector that read wrong.
constexpr size_t WrongFrom = 4 * 300;
constexpr size_t WrongTo = WrongFrom + 4 * 150;

uint32_t Big(const uint8_t* bytes, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; i++) value = value << 8 | bytes[i];
  return value;
}

void PutBig(std::string* out, uint32_t value, int count) {
  for (int i = count - 1; i >= 0; i--) out->push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

void PutMsf(std::string* out, int32_t lsn, bool padded) {
  int32_t position = lsn + 150;
  if (padded) out->push_back(0);
  out->push_back(static_cast<char>(position / 4500));
  out->push_back(static_cast<char>(position / 75 % 60));
  out->push_back(static_cast<char>(position % 75));
}

Opcode OpcodeOf(const uint8_t* cdb) { return static_cast<Opcode>(cdb[0]); }

// Whether a command may be sent on any node or only on one opened for
// writing, where the kernel passes it.
constexpr bool AnyNode = false;
constexpr bool WritableNode = true;

void Put16(std::string* out, size_t at, int value) {
  (*out)[at] = static_cast<char>(value >> 8 & 0xFF);
  (*out)[at + 1] = static_cast<char>(value & 0xFF);
}

// A table of contents entry's byte of ADR 1 and the control bits.
char AdrControl(uint8_t bits) { return static_cast<char>(0x10 | bits); }
// The control bits of a track: a data track's, or none for audio.
uint8_t DataBits(bool audio) { return static_cast<uint8_t>(audio ? 0 : 0x04); }

uint8_t Bcd(int value) { return static_cast<uint8_t>(value / 10 << 4 | value % 10); }

// The ISRC's letters and digits as its Q sub-channel codes them.
uint8_t IsrcCode(char c) { return static_cast<uint8_t>(c >= 'A' ? c - 'A' + 0x11 : c - '0'); }

// The Q sub-channel of sector `lsn`, with the CRC of its first ten bytes,
// the one CD-Text packs carry. As on a pressed disc, one sector in a
// hundred gives the catalogue number (mode 2) and another the track's ISRC
// (mode 3), where the disc has them; all others the position (mode 1).
void PutQ(const Sheet& sheet, int32_t lsn, uint8_t* q) {
  const SheetTrack* track = sheet.QTrackAt(lsn);
  const bool pregap = track && lsn < track->start;
  const int32_t relative = track ? (pregap ? track->start - lsn : lsn - track->start) : 0;
  const int32_t absolute = lsn + 150;
  const uint8_t control = static_cast<uint8_t>((track ? track->Control() : 0) << 4);
  uint8_t bytes[10] = {static_cast<uint8_t>(control | 1),
                       Bcd(track ? track->number : 0),
                       Bcd(pregap ? 0 : 1),
                       Bcd(relative / 4500),
                       Bcd(relative / 75 % 60),
                       Bcd(relative % 75),
                       0,
                       Bcd(absolute / 4500),
                       Bcd(absolute / 75 % 60),
                       Bcd(absolute % 75)};
  if (!sheet.catalog.empty() && lsn % 100 == 10) {
    memset(bytes, 0, sizeof bytes);
    bytes[0] = static_cast<uint8_t>(control | 2);
    for (size_t i = 0; i < 13; i++)
      bytes[1 + i / 2] |= static_cast<uint8_t>((sheet.catalog[i] - '0') << (i % 2 ? 0 : 4));
    bytes[9] = Bcd(absolute % 75);
  } else if (track && !pregap && !track->isrc.empty() && lsn % 100 == 60) {
    memset(bytes, 0, sizeof bytes);
    bytes[0] = static_cast<uint8_t>(control | 3);
    uint32_t letters = 0;  // five characters of six bits, then two zero bits
    for (size_t i = 0; i < 5; i++) letters = letters << 6 | IsrcCode(track->isrc[i]);
    letters <<= 2;
    for (int i = 0; i < 4; i++) bytes[1 + i] = static_cast<uint8_t>(letters >> (24 - 8 * i));
    for (size_t i = 5; i < 12; i++)
      bytes[5 + (i - 5) / 2] |=
          static_cast<uint8_t>((track->isrc[i] - '0') << ((i - 5) % 2 ? 0 : 4));
    bytes[9] = Bcd(absolute % 75);
  }
  const uint16_t crc = mkdisc::SubcodeCrc(bytes, sizeof bytes);
  memcpy(q, bytes, 10);
  q[10] = static_cast<uint8_t>(crc >> 8);
  q[11] = static_cast<uint8_t>(crc & 0xFF);
}

// The sub-channel READ CD appends to a sector: raw P-W (each byte a bit of
// each of the eight channels, P the top one, set in a pregap), the
// formatted Q with its CRC, or R-W alone.
std::string SubChannel(const Sheet& sheet, int32_t lsn, uint8_t selection) {
  uint8_t q[12];
  PutQ(sheet, lsn, q);
  if (selection == 2)
    return std::string(reinterpret_cast<const char*>(q), 12) + std::string(4, '\0');
  if (selection == 4) return std::string(96, '\0');  // R-W alone: no CD-TEXT or graphics here
  const SheetTrack* track = sheet.QTrackAt(lsn);
  const bool pause = track && lsn < track->start;
  std::string raw(96, '\0');
  for (int bit = 0; bit < 96; bit++)
    raw[static_cast<size_t>(bit)] =
        static_cast<char>((pause ? 0x80 : 0) | ((q[bit / 8] >> (7 - bit % 8) & 1) << 6));
  return raw;
}

// Fixed-format sense data, as CHECK CONDITION and REQUEST SENSE give it.
void PutSense(uint8_t* raw, const Sense& sense) {
  memset(raw, 0, 18);
  raw[0] = 0x70;  // current error
  if (sense.information >= 0) {
    raw[0] |= 0x80;  // the information field holds the failing address
    for (int i = 0; i < 4; i++)
      raw[3 + i] = static_cast<uint8_t>(static_cast<uint32_t>(sense.information) >> (24 - 8 * i));
  }
  raw[2] = sense.key;
  raw[7] = 10;  // additional length
  raw[12] = sense.asc;
  raw[13] = sense.ascq;
}

// Bytes one sector gives for READ CD's field selection, or -1 when the
// selection is not one a drive accepts.
int FieldBytes(bool audio, uint8_t fields, uint8_t subchannel) {
  int bytes = 0;
  if (audio) {
    bytes = (fields & 0x10) ? SectorBytes : 0;
  } else {
    if (fields & 0x80) bytes += 12;    // sync
    if (fields & 0x20) bytes += 4;     // header
    if (fields & 0x10) bytes += 2048;  // user data
    if (fields & 0x08) bytes += 288;   // EDC and ECC
  }
  if ((fields & 0x06) == 0x02)
    bytes += 294;  // C2 error flags
  else if ((fields & 0x06) == 0x04)
    bytes += 296;  // C2 and block error bits
  else if ((fields & 0x06) == 0x06)
    return -1;
  if (subchannel == 1 || subchannel == 4)
    bytes += 96;
  else if (subchannel == 2)
    bytes += 16;
  else if (subchannel != 0)
    return -1;
  return bytes;
}

}  // namespace

const Drive::PacketCommand Drive::PacketCommands[] = {
    {Opcode::TestUnitReady, "TEST_UNIT_READY", &Drive::TestUnitReadyLocked, AnyNode},
    {Opcode::RequestSense, "REQUEST_SENSE", &Drive::RequestSenseLocked, AnyNode},
    {Opcode::Inquiry, "INQUIRY", &Drive::InquiryLocked, AnyNode},
    {Opcode::ModeSelect6, "MODE_SELECT_6", &Drive::ModeSelectLocked, WritableNode},
    {Opcode::ModeSense6, "MODE_SENSE_6", &Drive::ModeSenseLocked, AnyNode},
    {Opcode::StartStopUnit, "START_STOP_UNIT", &Drive::StartStopLocked, AnyNode},
    {Opcode::PreventAllow, "PREVENT_ALLOW", &Drive::PreventAllowLocked, AnyNode},
    {Opcode::ReadCapacity, "READ_CAPACITY", &Drive::ReadCapacityLocked, AnyNode},
    {Opcode::Read10, "READ_10", &Drive::Read10Locked, AnyNode},
    {Opcode::ReadSubChannel, "READ_SUBCHANNEL", &Drive::ReadSubChannelLocked, AnyNode},
    {Opcode::ReadToc, "READ_TOC", &Drive::ReadTocLocked, AnyNode},
    {Opcode::GetConfiguration, "GET_CONFIGURATION", &Drive::ConfigurationLocked, AnyNode},
    {Opcode::PlayAudioMsf, "PLAY_AUDIO_MSF", &Drive::PlayAudioMsfLocked, AnyNode},
    {Opcode::GetEventStatus, "GET_EVENT_STATUS", &Drive::EventStatusLocked, AnyNode},
    {Opcode::ReadDiscInformation, "READ_DISC_INFORMATION", &Drive::DiscInformationLocked, AnyNode},
    {Opcode::ModeSelect10, "MODE_SELECT_10", &Drive::ModeSelectLocked, WritableNode},
    {Opcode::ModeSense10, "MODE_SENSE_10", &Drive::ModeSenseLocked, AnyNode},
    {Opcode::SetStreaming, "SET_STREAMING", &Drive::SetStreamingLocked, WritableNode},
    {Opcode::ReadCdMsf, "READ_CD_MSF", &Drive::ReadCdMsfLocked, AnyNode},
    {Opcode::SetCdSpeed, "SET_CD_SPEED", &Drive::SetCdSpeedLocked, WritableNode},
    {Opcode::MechanismStatus, "MECHANISM_STATUS", &Drive::MechanismStatusLocked, AnyNode},
    {Opcode::ReadCd, "READ_CD", &Drive::ReadCdCommandLocked, AnyNode},
};

const Drive::PacketCommand* Drive::FindPacket(uint8_t opcode) {
  for (const PacketCommand& command : PacketCommands)
    if (command.opcode == static_cast<Opcode>(opcode)) return &command;
  return nullptr;
}

bool Drive::JournaledPacketLocked(const char* via, const uint8_t* cdb, Transfer* transfer,
                                  Sense* sense) {
  const PacketCommand* command = FindPacket(cdb[0]);
  *sense = command ? RunPacketLocked(*command, cdb, transfer) : InvalidOpcode;
  char line[160];
  int length =
      snprintf(line, sizeof line, "%s %s 0x%02X", via, command ? command->name : "unknown", cdb[0]);
  if (command && command->opcode == Opcode::ReadCd)
    length += snprintf(line + length, sizeof line - static_cast<size_t>(length), " lsn=%d count=%u",
                       static_cast<int32_t>(Big(cdb + 2, 4)), Big(cdb + 6, 3));
  if (transfer->denied)
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " EPERM");
  else if (sense->Failed())
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " sense %X/%02X/%02X",
             sense->key, sense->asc, sense->ascq);
  else
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " ok");
  journal_.Note(line);
  if (sense->Failed()) lastSense_ = *sense;
  return !transfer->denied;
}

Sense Drive::RunPacketLocked(const PacketCommand& command, const uint8_t* cdb, Transfer* transfer) {
  if (command.writeOnly && !transfer->writable) {
    transfer->denied = true;
    return Sense();
  }
  const Sense sense = (this->*command.handler)(cdb, transfer);
  // The reads fill the buffer themselves; the rest answer a reply.
  if (sense.Failed() || transfer->reply.empty()) return sense;
  transfer->filled = std::min(transfer->size, transfer->reply.size());
  if (transfer->buffer) memcpy(transfer->buffer, transfer->reply.data(), transfer->filled);
  return sense;
}

int Drive::PacketLocked(void* argument, bool writable) {
  auto* command = static_cast<cdrom_generic_command*>(argument);
  Transfer transfer;
  transfer.buffer = command->buffer;
  transfer.size = command->buflen;
  transfer.writable = writable;
  Sense sense;
  if (!JournaledPacketLocked("packet", command->cmd, &transfer, &sense)) return -EPERM;
  if (!sense.Failed()) {
    command->stat = 0;
    return 0;
  }
  command->stat = 0x02;  // CHECK CONDITION
  if (command->sense) PutSense(reinterpret_cast<uint8_t*>(command->sense), sense);
  return -EIO;
}

int Drive::SgIoLocked(void* argument, bool writable) {
  auto* header = static_cast<sg_io_hdr*>(argument);
  if (header->interface_id != 'S') return -ENOSYS;
  if (header->cmd_len < 6 || header->cmd_len > 16 || !header->cmdp) return -EINVAL;
  if (header->iovec_count != 0) return -EINVAL;  // no scatter lists here
  Transfer transfer;
  transfer.buffer = static_cast<uint8_t*>(header->dxfer_len ? header->dxferp : nullptr);
  transfer.size = transfer.buffer ? header->dxfer_len : 0;
  transfer.writable = writable;
  Sense sense;
  if (!JournaledPacketLocked("sg_io", header->cmdp, &transfer, &sense)) return -EPERM;
  header->status = header->masked_status = header->msg_status = 0;
  header->host_status = header->driver_status = 0;
  header->sb_len_wr = 0;
  header->info = 0;
  header->duration = 0;
  header->resid =
      static_cast<int>(header->dxfer_len - std::min<size_t>(transfer.filled, header->dxfer_len));
  if (sense.Failed()) {
    header->status = 0x02;         // CHECK CONDITION
    header->masked_status = 0x01;  // its value shifted right by one
    header->driver_status = 0x08;  // DRIVER_SENSE
    header->info = SG_INFO_CHECK;
    if (header->sbp && header->mx_sb_len > 0) {
      uint8_t raw[18];
      PutSense(raw, sense);
      header->sb_len_wr = std::min<unsigned char>(header->mx_sb_len, sizeof raw);
      memcpy(header->sbp, raw, header->sb_len_wr);
    }
  }
  return 0;
}

Sense Drive::TestUnitReadyLocked(const uint8_t*, Transfer*) {
  return PresentLocked() ? Sense() : NotPresentLocked();
}

Sense Drive::RequestSenseLocked(const uint8_t*, Transfer* transfer) {
  transfer->reply.assign(18, '\0');
  PutSense(reinterpret_cast<uint8_t*>(&transfer->reply[0]), lastSense_);
  lastSense_ = Sense();
  return Sense();
}

Sense Drive::InquiryLocked(const uint8_t* cdb, Transfer* transfer) {
  if (cdb[1] & 0x01) return InvalidField;  // no vital product data pages
  transfer->reply =
      std::string("\x05\x80\x05\x32\x1F\x00\x00\x00", 8) + "SIMDRIVE" + "Simulated CD-RW " + "1.00";
  return Sense();
}

Sense Drive::StartStopLocked(const uint8_t* cdb, Transfer*) {
  if (cdb[4] & 0x02) {  // load or eject
    const bool close = cdb[4] & 0x01;
    if (close != !faults_.trayOpen) mediaChanged_ = true;
    faults_.trayOpen = !close;
    spinning_ = false;
  }
  return Sense();
}

Sense Drive::PreventAllowLocked(const uint8_t*, Transfer*) { return Sense(); }

Sense Drive::ReadCapacityLocked(const uint8_t*, Transfer* transfer) {
  if (!PresentLocked()) return NotPresentLocked();
  PutBig(&transfer->reply, static_cast<uint32_t>(sheet_.leadout - 1), 4);
  PutBig(&transfer->reply, 2048, 4);
  return Sense();
}

Sense Drive::Read10Locked(const uint8_t* cdb, Transfer* transfer) {
  // The user data of mode 1 sectors.
  return ReadCdLocked(static_cast<int32_t>(Big(cdb + 2, 4)), static_cast<int32_t>(Big(cdb + 7, 2)),
                      2, 0x10, 0, transfer->buffer, transfer->size, &transfer->filled);
}

Sense Drive::ReadCdMsfLocked(const uint8_t* cdb, Transfer* transfer) {
  const int32_t from = (cdb[3] * 60 + cdb[4]) * 75 + cdb[5] - 150;
  const int32_t to = (cdb[6] * 60 + cdb[7]) * 75 + cdb[8] - 150;
  if (to < from) return InvalidField;
  return ReadCdLocked(from, to - from, (cdb[1] >> 2) & 7, cdb[9], cdb[10] & 7, transfer->buffer,
                      transfer->size, &transfer->filled);
}

Sense Drive::ReadCdCommandLocked(const uint8_t* cdb, Transfer* transfer) {
  return ReadCdLocked(static_cast<int32_t>(Big(cdb + 2, 4)), static_cast<int32_t>(Big(cdb + 6, 3)),
                      (cdb[1] >> 2) & 7, cdb[9], cdb[10] & 7, transfer->buffer, transfer->size,
                      &transfer->filled);
}

Sense Drive::PlayAudioMsfLocked(const uint8_t* cdb, Transfer*) {
  // The analog output, as CDROMPLAYMSF plays it.
  cdrom_msf range{cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8]};
  const int played = PlayAudioLocked(&range, false);
  if (played == -ENOMEDIUM) return NotPresentLocked();
  if (played == -EIO) return IllegalMode;
  if (played != 0) return OutOfRange;
  return Sense();
}

Sense Drive::ReadSubChannelLocked(const uint8_t* cdb, Transfer* transfer) {
  if (!PresentLocked()) return NotPresentLocked();
  std::string* reply = &transfer->reply;
  *reply = std::string("\x00\x15\x00\x00", 4);  // no audio status to report
  const bool subQ = cdb[2] & 0x40;
  const int format = cdb[3];
  if (subQ && format == 1) PositionReplyLocked(cdb[1] & 0x02, reply);
  if (subQ && (format == 2 || format == 3)) {
    const Sense sense = CodeReplyLocked(format, cdb[6], reply);
    if (sense.Failed()) return sense;
  }
  reply->resize(std::min<size_t>(reply->size(), Big(cdb + 7, 2)));
  return Sense();
}

void Drive::PositionReplyLocked(bool msf, std::string* reply) {
  // The current position, and where the analog output is.
  cdrom_subchnl channel{};
  channel.cdsc_format = msf ? CDROM_MSF : CDROM_LBA;
  SubChannelLocked(&channel, false);
  (*reply)[1] = static_cast<char>(channel.cdsc_audiostatus);
  (*reply)[3] = 12;
  *reply += std::string{1, static_cast<char>(channel.cdsc_adr << 4 | channel.cdsc_ctrl),
                        static_cast<char>(channel.cdsc_trk), static_cast<char>(channel.cdsc_ind)};
  for (const cdrom_addr* address : {&channel.cdsc_absaddr, &channel.cdsc_reladdr}) {
    if (channel.cdsc_format == CDROM_MSF)
      *reply += std::string{0, static_cast<char>(address->msf.minute),
                            static_cast<char>(address->msf.second),
                            static_cast<char>(address->msf.frame)};
    else
      PutBig(reply, static_cast<uint32_t>(address->lba), 4);
  }
}

Sense Drive::CodeReplyLocked(int format, int number, std::string* reply) {
  // The catalogue number (format 2), or the ISRC of track `number` (3),
  // in ASCII.
  const SheetTrack* track = nullptr;
  for (const SheetTrack& each : sheet_.tracks)
    if (each.number == number) track = &each;
  if (format == 3 && !track) return InvalidField;
  const std::string& code = format == 2 ? sheet_.catalog : track->isrc;
  (*reply)[3] = 20;
  *reply += static_cast<char>(format);
  *reply += format == 3 ? static_cast<char>(0x10 | track->Control()) : '\0';
  *reply += format == 3 ? static_cast<char>(track->number) : '\0';
  *reply += '\0';
  *reply += code.empty() ? '\0' : '\x80';  // valid
  *reply += code;
  reply->resize(24, '\0');
  return Sense();
}

Sense Drive::EventStatusLocked(const uint8_t* cdb, Transfer* transfer) {
  // Polled only.
  if (!(cdb[1] & 0x01)) return InvalidField;
  const bool present = PresentLocked();
  std::string* reply = &transfer->reply;
  if (!(cdb[4] & 0x10)) {  // no media class asked: no event to report
    *reply = std::string("\x00\x02\x80\x10", 4);
    return Sense();
  }
  *reply = std::string("\x00\x06\x04\x10", 4);
  reply->push_back(mediaChanged_ ? (present ? 2 : 3) : 0);
  reply->push_back(static_cast<char>((present ? 0x02 : 0) | (faults_.trayOpen ? 0x01 : 0)));
  reply->append(2, '\0');
  mediaChanged_ = false;
  return Sense();
}

Sense Drive::DiscInformationLocked(const uint8_t*, Transfer* transfer) {
  if (!PresentLocked()) return NotPresentLocked();
  std::string& reply = transfer->reply;
  reply.assign(34, '\0');
  reply[1] = 32;
  reply[2] = 0x0E;  // complete disc, complete last session
  reply[3] = static_cast<char>(sheet_.tracks.front().number);
  reply[4] = static_cast<char>(sheet_.Sessions());
  reply[5] = static_cast<char>(sheet_.LastSessionFirst().number);
  reply[6] = static_cast<char>(sheet_.tracks.back().number);
  reply[7] = 0x20;  // unrestricted use
  reply[8] = sheet_.Sessions() > 1 ? 0x20 : 0x00;
  return Sense();
}

Sense Drive::SetStreamingLocked(const uint8_t*, Transfer*) { return Sense(); }

Sense Drive::SetCdSpeedLocked(const uint8_t* cdb, Transfer*) {
  const uint32_t rate = Big(cdb + 2, 2);  // kilobytes a second; FFFF: the fastest
  SelectSpeedLocked(
      rate == 0xFFFF
          ? 0
          : std::max<int>(1, static_cast<int>((rate + KilobytesPerX / 2) / KilobytesPerX)),
      "packet");
  return Sense();
}

Sense Drive::MechanismStatusLocked(const uint8_t*, Transfer* transfer) {
  transfer->reply.assign(8, '\0');
  transfer->reply[1] = faults_.trayOpen ? 0x10 : 0;
  return Sense();
}

Sense Drive::ReadTocLocked(const uint8_t* cdb, Transfer* transfer) {
  if (!PresentLocked()) return NotPresentLocked();
  std::string* reply = &transfer->reply;
  const bool msf = cdb[1] & 0x02;
  int format = cdb[2] & 0x0F;
  if (format == 0 && (cdb[9] & 0xC0)) format = cdb[9] >> 6;  // the older place for it
  const int from = cdb[6];
  auto address = [&](int32_t lsn) {
    if (msf)
      PutMsf(reply, lsn, true);
    else
      PutBig(reply, static_cast<uint32_t>(lsn), 4);
  };
  const SheetTrack& last = sheet_.tracks.back();
  reply->assign(4, '\0');
  if (format == 0) {  // the table of contents
    if (from > last.number && from != 0xAA) return InvalidField;
    (*reply)[2] = static_cast<char>(sheet_.tracks.front().number);
    (*reply)[3] = static_cast<char>(last.number);
    for (const SheetTrack& track : sheet_.tracks) {
      if (track.number < from) continue;
      *reply += std::string{0, AdrControl(track.Control()), static_cast<char>(track.number), 0};
      address(track.start);
    }
    *reply += std::string{0, AdrControl(DataBits(last.audio)), static_cast<char>(0xAA), 0};
    address(sheet_.leadout);
  } else if (format == 1) {  // the last session's first track
    const SheetTrack& first = sheet_.LastSessionFirst();
    (*reply)[2] = 1;
    (*reply)[3] = static_cast<char>(sheet_.Sessions());
    *reply += std::string{0, AdrControl(first.Control()), static_cast<char>(first.number), 0};
    address(first.start);
  } else if (format == 2) {  // the full table, session by session, always MSF
    FullTocLocked(reply);
  } else if (format == 5) {  // the CD-Text of the lead-in, in its packs
    *reply += mkdisc::CdTextPacks(mkdisc::CdTextBlocks(sheet_.text), sheet_.tracks.front().number,
                                  last.number);
  } else {
    return InvalidField;
  }
  uint32_t length = static_cast<uint32_t>(reply->size() - 2);
  (*reply)[0] = static_cast<char>(length >> 8);
  (*reply)[1] = static_cast<char>(length & 0xFF);
  reply->resize(std::min<size_t>(reply->size(), Big(cdb + 7, 2)));
  return Sense();
}

void Drive::FullTocLocked(std::string* reply) {
  (*reply)[2] = 1;
  (*reply)[3] = static_cast<char>(sheet_.Sessions());
  auto entry = [&](int session, uint8_t bits, int point, int32_t lsn, int pmin, int psec) {
    *reply += std::string{
        static_cast<char>(session), AdrControl(bits), 0, static_cast<char>(point), 0, 0, 0, 0};
    if (lsn >= 0) {
      PutMsf(reply, lsn, false);
    } else {
      reply->push_back(static_cast<char>(pmin));
      reply->push_back(static_cast<char>(psec));
      reply->push_back(0);
    }
  };
  for (int session = 1; session <= sheet_.Sessions(); session++) {
    std::vector<const SheetTrack*> tracks;
    for (const SheetTrack& track : sheet_.tracks)
      if (track.session == session) tracks.push_back(&track);
    entry(session, DataBits(tracks.front()->audio), 0xA0, -1, tracks.front()->number,
          sheet_.Sessions() > 1 ? 0x20 : 0);
    entry(session, DataBits(tracks.back()->audio), 0xA1, -1, tracks.back()->number, 0);
    entry(session, DataBits(tracks.back()->audio), 0xA2,
          sheet_.sessionEnds[static_cast<size_t>(session - 1)], 0, 0);
    for (const SheetTrack* track : tracks)
      entry(session, track->Control(), track->number, track->start, 0, 0);
  }
}

std::string Drive::ModePageLocked(int page, int control) const {
  const bool changeable = control == 1;
  const ModeSettings& mode = control == 2 ? ModeSettings() : mode_;
  std::string body;
  switch (page) {
    case 0x01:  // read error recovery: the retry count, to be changed
      body.assign(12, '\0');
      body[0] = 0x01;
      body[1] = 10;
      body[3] = static_cast<char>(changeable ? 0xFF : mode.readRetries);
      return body;
    case 0x0D:  // CD parameters: 60 seconds a minute, 75 frames a second
      body.assign(8, '\0');
      body[0] = 0x0D;
      body[1] = 6;
      if (!changeable) {
        Put16(&body, 4, 60);
        Put16(&body, 6, 75);
      }
      return body;
    case 0x0E:  // CD audio control: the analog output's ports and volumes
      body.assign(16, '\0');
      body[0] = 0x0E;
      body[1] = 14;
      body[2] = 0x04;  // plays return at once
      for (size_t port = 0; port < 2; port++) {
        body[8 + 2 * port] = static_cast<char>(changeable ? 0x0F : mode.ports[port]);
        body[9 + 2 * port] = static_cast<char>(changeable ? 0xFF : mode.volume[port]);
      }
      return body;
    case 0x2A:  // capabilities and mechanical status
      return CapabilitiesPageLocked(changeable);
    default:
      return "";
  }
}

std::string Drive::CapabilitiesPageLocked(bool changeable) const {
  std::string body(22, '\0');
  body[0] = 0x2A;
  body[1] = 20;
  if (changeable) return body;
  body[2] = 0x03;  // reads CD-R and CD-RW
  body[4] = 0x41;  // plays audio, reads multisession discs
  // CD-DA commands supported, CD-DA stream accurate, and C2 pointers as
  // GET CONFIGURATION says.
  body[5] = static_cast<char>(0x03 | (faults_.c2 ? 0x10 : 0));
  body[6] = 0x29;  // tray loading, ejects, locks
  body[7] = 0x03;  // separate volume and mute per channel
  Put16(&body, 8, faults_.maxSpeed * KilobytesPerX);
  Put16(&body, 10, 256);
  Put16(&body, 12, 2048);
  Put16(&body, 14, speed_ * KilobytesPerX);
  return body;
}

Sense Drive::ModeSenseLocked(const uint8_t* cdb, Transfer* transfer) {
  const bool ten = OpcodeOf(cdb) == Opcode::ModeSense10;
  std::string* reply = &transfer->reply;
  const int page = cdb[2] & 0x3F;
  const int control = cdb[2] >> 6;                   // current, changeable, default, saved
  if (control == 3) return Sense{0x05, 0x39, 0x00};  // SAVING PARAMETERS NOT SUPPORTED
  std::string body;
  for (int each : {0x01, 0x0D, 0x0E, 0x2A})
    if (page == each || page == 0x3F) body += ModePageLocked(each, control);
  if (body.empty()) return InvalidField;
  if (ten) {
    *reply = std::string(8, '\0');
    uint32_t length = static_cast<uint32_t>(6 + body.size());
    (*reply)[0] = static_cast<char>(length >> 8);
    (*reply)[1] = static_cast<char>(length & 0xFF);
  } else {
    *reply = std::string(4, '\0');
    (*reply)[0] = static_cast<char>(3 + body.size());
  }
  *reply += body;
  size_t allowed = ten ? Big(cdb + 7, 2) : cdb[4];
  reply->resize(std::min(reply->size(), allowed));
  return Sense();
}

Sense Drive::ModeSelectLocked(const uint8_t* cdb, Transfer* transfer) {
  const bool ten = OpcodeOf(cdb) == Opcode::ModeSelect10;
  const uint8_t* data = transfer->buffer;
  const size_t size = transfer->size;
  const size_t length = std::min<size_t>(size, ten ? Big(cdb + 7, 2) : cdb[4]);
  const size_t header = ten ? 8 : 4;
  if (!data || length < header) return InvalidField;
  size_t at = header + (ten ? Big(data + 6, 2) : data[3]);  // past the block descriptors
  while (at + 2 <= length) {
    const int page = data[at] & 0x3F;
    const size_t bytes = 2 + data[at + 1];
    if (at + bytes > length) return Sense{0x05, 0x26, 0x00};  // INVALID FIELD IN PARAMETER LIST
    const uint8_t* body = data + at;
    if (page == 0x01 && bytes >= 4) {
      mode_.readRetries = body[3];
    } else if (page == 0x0E && bytes >= 12) {
      for (size_t port = 0; port < 2; port++) {
        mode_.ports[port] = body[8 + 2 * port] & 0x0F;
        mode_.volume[port] = body[9 + 2 * port];
      }
    } else if (page != 0x0D && page != 0x2A) {
      return Sense{0x05, 0x26, 0x00};
    }
    journal_.Note("mode page " + std::to_string(page) + " selected");
    at += bytes;
  }
  return Sense();
}

Sense Drive::ConfigurationLocked(const uint8_t* cdb, Transfer* transfer) {
  std::string* reply = &transfer->reply;
  int type = cdb[1] & 0x03;
  uint32_t start = Big(cdb + 2, 2);
  bool present = PresentLocked();
  std::string features;
  auto feature = [&](uint32_t code, uint8_t flags, const std::string& data) {
    if (type == 2 ? code != start : code < start) return;
    if (type == 1 && !(flags & 0x01)) return;
    PutBig(&features, code, 2);
    features.push_back(static_cast<char>(flags));
    features.push_back(static_cast<char>(data.size()));
    features += data;
  };
  std::string profiles = std::string("\x00\x08", 2) + static_cast<char>(present ? 1 : 0) + '\0';
  feature(0x0000, 0x03, profiles);  // profile list: CD-ROM
  feature(0x0001, 0x0B, std::string("\x00\x00\x00\x02\x00\x00\x00\x00", 8));  // core, ATAPI
  feature(0x0003, 0x03, std::string("\x29\x00\x00\x00", 4));  // removable medium, tray
  feature(0x001E, static_cast<uint8_t>(0x08 | (present ? 1 : 0)),
          std::string(faults_.c2 ? "\x02" : "\x00", 1) + std::string(3, '\0'));  // CD read
  PutBig(reply, static_cast<uint32_t>(4 + features.size()), 4);
  reply->append(2, '\0');
  PutBig(reply, present ? 0x0008 : 0x0000, 2);
  *reply += features;
  reply->resize(std::min<size_t>(reply->size(), Big(cdb + 7, 2)));
  return Sense();
}

Sense Drive::FetchLocked(int32_t lsn, int32_t count, std::string* raw) {
  Clock::time_point now = Clock::now();
  if (count > 0 &&
      (!spinning_ || now - lastRead_ > std::chrono::milliseconds(faults_.spinDownMs))) {
    if (faults_.spinUpMs > 0) {
      journal_.Note("spin-up " + std::to_string(faults_.spinUpMs) + "ms");
      std::this_thread::sleep_for(std::chrono::milliseconds(faults_.spinUpMs));
    }
    spinning_ = true;
  }
  // A read takes its latency and the time the sectors take to pass under
  // the head at the current speed.
  auto busy = std::chrono::milliseconds(faults_.latencyMs) +
              std::chrono::microseconds(static_cast<int64_t>(count) * 1000000 / (75 * speed_));
  if (count > 0 && lsn != head_ && faults_.seekMs > 0) {
    const int64_t distance = std::abs(static_cast<int64_t>(lsn) - head_);
    busy += std::chrono::microseconds(faults_.seekMs *
                                      (100 + 900 * std::min<int64_t>(distance, sheet_.leadout) /
                                                 std::max<int32_t>(sheet_.leadout, 1)));
  }
  std::this_thread::sleep_for(busy);
  lastRead_ = Clock::now();
  head_ = lsn + count;
  analog_ = Analog::Idle;  // reading the disc ends an analog play
  if (faults_.ejectAt >= 0 && lsn + count > faults_.ejectAt) {
    faults_.ejectAt = -1;
    RemoveDiscLocked("during a read");
    return NotPresentLocked();
  }
  // New scratches start with their full count of failures.
  for (; scratchesApplied_ < faults_.scratches.size(); scratchesApplied_++) {
    const Scratch& scratch = faults_.scratches[scratchesApplied_];
    for (int32_t at = scratch.first; at <= scratch.last; at++) failuresLeft_[at] = scratch.failures;
  }
  // The drive stops at the first sector it cannot read, after its own
  // retries, and says which it was.
  for (auto it = failuresLeft_.lower_bound(lsn);
       it != failuresLeft_.end() && it->first < lsn + count; ++it) {
    if (it->second == 0) continue;
    if (it->second != Always) it->second--;
    std::this_thread::sleep_for(std::chrono::milliseconds(faults_.retryTimeMs));
    Sense failure = UnrecoveredRead;
    failure.information = it->first;
    return failure;
  }
  raw->resize(static_cast<size_t>(count) * SectorBytes);
  ssize_t got = pread(binFd_, &(*raw)[0], raw->size(), static_cast<off_t>(lsn) * SectorBytes);
  if (got != static_cast<ssize_t>(raw->size())) return UnrecoveredRead;
  return Sense();
}

Sense Drive::ReadCdLocked(int32_t lsn, int32_t count, int expected, uint8_t fields,
                          uint8_t subchannel, uint8_t* buffer, size_t size, size_t* filled) {
  if (expected > 5) return InvalidField;
  if (!PresentLocked()) return NotPresentLocked();
  if (lsn < 0 || count < 0 || lsn + count > sheet_.leadout) return OutOfRange;
  std::vector<int> bytes;
  for (int32_t at = lsn; at < lsn + count; at++) {
    const SheetTrack* track = sheet_.TrackAt(at);
    if (!track) return OutOfRange;
    // Expected sector types: 0 any, 1 CD-DA, 2 mode 1, 3-5 mode 2.
    if ((expected == 1 && !track->audio) || (expected >= 2 && track->audio)) return IllegalMode;
    if (expected >= 3) return IllegalMode;  // the discs here hold mode 1 data only
    int each = FieldBytes(track->audio, fields, subchannel);
    if (each < 0 || (!faults_.c2 && (fields & 0x06))) return InvalidField;
    bytes.push_back(each);
  }
  std::string raw;
  Sense sense = FetchLocked(lsn, count, &raw);
  if (sense.Failed()) return sense;
  size_t at = 0;
  for (int32_t i = 0; i < count; i++) {
    const std::string out =
        SectorOutLocked(lsn + i, raw.data() + static_cast<size_t>(i) * SectorBytes, fields,
                        subchannel, static_cast<size_t>(bytes[static_cast<size_t>(i)]));
    size_t room = size > at ? size - at : 0;
    size_t copy = std::min(room, out.size());
    if (buffer && copy) memcpy(buffer + at, out.data(), copy);
    at += copy;
  }
  *filled = at;
  return Sense();
}

std::string Drive::SectorOutLocked(int32_t lsn, const char* sector, uint8_t fields,
                                   uint8_t subchannel, size_t bytes) const {
  std::string out;
  const SheetTrack* track = sheet_.TrackAt(lsn);
  const WrongSectors* wrong = nullptr;
  for (const WrongSectors& range : faults_.wrong)
    if (track->audio && lsn >= range.first && lsn <= range.last) wrong = &range;
  if (track->audio) {
    if (fields & 0x10) out.assign(sector, SectorBytes);
    // What the drive's error correction could not mend: a burst of
    // wrong bytes, 150 stereo samples long.
    if (wrong && (fields & 0x10))
      for (size_t b = WrongFrom; b < WrongTo; b++) out[b] = static_cast<char>(out[b] ^ 0x5A);
  } else {
    if (fields & 0x80) out.append(sector, 12);
    if (fields & 0x20) out.append(sector + 12, 4);
    if (fields & 0x10) out.append(sector + 16, 2048);
    if (fields & 0x08) out.append(sector + 2064, 288);
  }
  const size_t withC2 = bytes - (subchannel == 2 ? 16 : subchannel != 0 ? 96 : 0);
  const size_t c2At = out.size();
  out.resize(withC2, '\0');  // C2 flags: none set, but for the wrong bytes
  if (wrong && wrong->flagged && (fields & 0x06) && (fields & 0x10))
    for (size_t b = WrongFrom; b < WrongTo; b++)
      out[c2At + b / 8] = static_cast<char>(out[c2At + b / 8] | (0x80 >> (b % 8)));
  if (subchannel != 0) out += SubChannel(sheet_, lsn, subchannel);
  return out;
}

}  // namespace simdrive
