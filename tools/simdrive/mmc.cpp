// SPDX-License-Identifier: GPL-3.0-or-later
// The MMC packets a drive answers through CDROM_SEND_PACKET. A command
// the drive does not know gets CHECK CONDITION with ILLEGAL REQUEST,
// INVALID COMMAND OPERATION CODE, as a real drive answers.
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

// The names the journal gives the commands the drive knows.
struct Command {
  uint8_t opcode;
  const char* name;
};
constexpr Command Commands[] = {
    {0x00, "TEST_UNIT_READY"},   {0x03, "REQUEST_SENSE"},    {0x12, "INQUIRY"},
    {0x15, "MODE_SELECT_6"},     {0x1A, "MODE_SENSE_6"},     {0x1B, "START_STOP_UNIT"},
    {0x1E, "PREVENT_ALLOW"},     {0x25, "READ_CAPACITY"},    {0x28, "READ_10"},
    {0x42, "READ_SUBCHANNEL"},   {0x43, "READ_TOC"},         {0x47, "PLAY_AUDIO_MSF"},
    {0x46, "GET_CONFIGURATION"}, {0x4A, "GET_EVENT_STATUS"}, {0x51, "READ_DISC_INFORMATION"},
    {0x55, "MODE_SELECT_10"},    {0x5A, "MODE_SENSE_10"},    {0xB6, "SET_STREAMING"},
    {0xB9, "READ_CD_MSF"},       {0xBB, "SET_CD_SPEED"},     {0xBD, "MECHANISM_STATUS"},
    {0xBE, "READ_CD"},
};

const char* CommandName(uint8_t opcode) {
  for (const Command& command : Commands)
    if (command.opcode == opcode) return command.name;
  return "unknown";
}

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

bool Drive::JournaledPacketLocked(const char* via, const uint8_t* cdb, uint8_t* buffer, size_t size,
                                  size_t* filled, bool writable, Sense* sense) {
  bool denied = false;
  *sense = RunPacketLocked(cdb, buffer, size, filled, &denied, writable);
  char line[160];
  int length = snprintf(line, sizeof line, "%s %s 0x%02X", via, CommandName(cdb[0]), cdb[0]);
  if (cdb[0] == 0xBE)
    length += snprintf(line + length, sizeof line - static_cast<size_t>(length), " lsn=%d count=%u",
                       static_cast<int32_t>(Big(cdb + 2, 4)), Big(cdb + 6, 3));
  if (denied)
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " EPERM");
  else if (sense->Failed())
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " sense %X/%02X/%02X",
             sense->key, sense->asc, sense->ascq);
  else
    snprintf(line + length, sizeof line - static_cast<size_t>(length), " ok");
  journal_.Note(line);
  if (sense->Failed()) lastSense_ = *sense;
  return !denied;
}

int Drive::PacketLocked(cdrom_generic_command* command, bool writable) {
  size_t filled = 0;
  Sense sense;
  if (!JournaledPacketLocked("packet", command->cmd, command->buffer, command->buflen, &filled,
                             writable, &sense))
    return -EPERM;
  if (!sense.Failed()) {
    command->stat = 0;
    return 0;
  }
  command->stat = 0x02;  // CHECK CONDITION
  if (command->sense) PutSense(reinterpret_cast<uint8_t*>(command->sense), sense);
  return -EIO;
}

int Drive::SgIoLocked(sg_io_hdr* header, bool writable) {
  if (header->interface_id != 'S') return -ENOSYS;
  if (header->cmd_len < 6 || header->cmd_len > 16 || !header->cmdp) return -EINVAL;
  if (header->iovec_count != 0) return -EINVAL;  // no scatter lists here
  auto* buffer = static_cast<uint8_t*>(header->dxfer_len ? header->dxferp : nullptr);
  size_t filled = 0;
  Sense sense;
  if (!JournaledPacketLocked("sg_io", header->cmdp, buffer, buffer ? header->dxfer_len : 0, &filled,
                             writable, &sense))
    return -EPERM;
  header->status = header->masked_status = header->msg_status = 0;
  header->host_status = header->driver_status = 0;
  header->sb_len_wr = 0;
  header->info = 0;
  header->duration = 0;
  header->resid = static_cast<int>(header->dxfer_len - std::min<size_t>(filled, header->dxfer_len));
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

Sense Drive::RunPacketLocked(const uint8_t* cdb, uint8_t* buffer, size_t size, size_t* filled,
                             bool* denied, bool writable) {
  std::string reply;
  Sense sense;
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
      if (!PresentLocked()) return NotPresentLocked();
      break;
    case 0x03:  // REQUEST SENSE
      reply.assign(18, '\0');
      PutSense(reinterpret_cast<uint8_t*>(&reply[0]), lastSense_);
      lastSense_ = Sense();
      break;
    case 0x12:                                 // INQUIRY
      if (cdb[1] & 0x01) return InvalidField;  // no vital product data pages
      reply = std::string("\x05\x80\x05\x32\x1F\x00\x00\x00", 8) + "SIMDRIVE" + "Simulated CD-RW " +
              "1.00";
      break;
    case 0x15:  // MODE SELECT: the kernel passes it only on a node opened for writing
    case 0x55:
      if (!writable) {
        *denied = true;
        return Sense();
      }
      return ModeSelectLocked(cdb, cdb[0] == 0x55, buffer, size);
    case 0x1A:
    case 0x5A:
      sense = ModeSenseLocked(cdb, cdb[0] == 0x5A, &reply);
      break;
    case 0x1B:  // START STOP UNIT
      if (cdb[4] & 0x02) {
        bool close = cdb[4] & 0x01;
        if (close != !faults_.trayOpen) mediaChanged_ = true;
        faults_.trayOpen = !close;
        spinning_ = false;
      }
      break;
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
      break;
    case 0x25:  // READ CAPACITY
      if (!PresentLocked()) return NotPresentLocked();
      PutBig(&reply, static_cast<uint32_t>(sheet_.leadout - 1), 4);
      PutBig(&reply, 2048, 4);
      break;
    case 0x28:  // READ (10): the user data of mode 1 sectors
      return ReadCdLocked(static_cast<int32_t>(Big(cdb + 2, 4)),
                          static_cast<int32_t>(Big(cdb + 7, 2)), 2, 0x10, 0, buffer, size, filled);
    case 0x47: {  // PLAY AUDIO MSF: the analog output, as CDROMPLAYMSF
      cdrom_msf range{cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8]};
      const int played = PlayAudioLocked(&range);
      if (played == -ENOMEDIUM) return NotPresentLocked();
      if (played == -EIO) return IllegalMode;
      if (played != 0) return OutOfRange;
      break;
    }
    case 0x42:  // READ SUB-CHANNEL
      if (!PresentLocked()) return NotPresentLocked();
      reply = std::string("\x00\x15\x00\x00", 4);  // no audio status to report
      if ((cdb[2] & 0x40) && cdb[3] == 1) {
        // The current position, and where the analog output is.
        cdrom_subchnl channel{};
        channel.cdsc_format = (cdb[1] & 0x02) ? CDROM_MSF : CDROM_LBA;
        SubChannelLocked(&channel);
        reply[1] = static_cast<char>(channel.cdsc_audiostatus);
        reply[3] = 12;
        reply +=
            std::string{1, static_cast<char>(channel.cdsc_adr << 4 | channel.cdsc_ctrl),
                        static_cast<char>(channel.cdsc_trk), static_cast<char>(channel.cdsc_ind)};
        for (const cdrom_addr* address : {&channel.cdsc_absaddr, &channel.cdsc_reladdr}) {
          if (channel.cdsc_format == CDROM_MSF)
            reply += std::string{0, static_cast<char>(address->msf.minute),
                                 static_cast<char>(address->msf.second),
                                 static_cast<char>(address->msf.frame)};
          else
            PutBig(&reply, static_cast<uint32_t>(address->lba), 4);
        }
      }
      if ((cdb[2] & 0x40) && (cdb[3] == 2 || cdb[3] == 3)) {
        // The catalogue number, or the ISRC of track cdb[6], in ASCII.
        const SheetTrack* track = nullptr;
        for (const SheetTrack& each : sheet_.tracks)
          if (each.number == cdb[6]) track = &each;
        if (cdb[3] == 3 && !track) return InvalidField;
        const std::string& code = cdb[3] == 2 ? sheet_.catalog : track->isrc;
        reply[3] = 20;
        reply += static_cast<char>(cdb[3]);
        reply += cdb[3] == 3 ? static_cast<char>(0x10 | track->Control()) : '\0';
        reply += cdb[3] == 3 ? static_cast<char>(track->number) : '\0';
        reply += '\0';
        reply += code.empty() ? '\0' : '\x80';  // valid
        reply += code;
        reply.resize(24, '\0');
      }
      reply.resize(std::min<size_t>(reply.size(), Big(cdb + 7, 2)));
      break;
    case 0x43:
      sense = ReadTocPacketLocked(cdb, &reply);
      break;
    case 0x46:
      sense = ConfigurationLocked(cdb, &reply);
      break;
    case 0x4A: {  // GET EVENT STATUS NOTIFICATION, polled
      if (!(cdb[1] & 0x01)) return InvalidField;
      bool present = PresentLocked();
      if (cdb[4] & 0x10) {
        reply = std::string("\x00\x06\x04\x10", 4);
        reply.push_back(mediaChanged_ ? (present ? 2 : 3) : 0);
        reply.push_back(static_cast<char>((present ? 0x02 : 0) | (faults_.trayOpen ? 0x01 : 0)));
        reply.append(2, '\0');
        mediaChanged_ = false;
      } else {
        reply = std::string("\x00\x02\x80\x10", 4);
      }
      break;
    }
    case 0x51: {  // READ DISC INFORMATION
      if (!PresentLocked()) return NotPresentLocked();
      reply.assign(34, '\0');
      reply[1] = 32;
      reply[2] = 0x0E;  // complete disc, complete last session
      reply[3] = static_cast<char>(sheet_.tracks.front().number);
      reply[4] = static_cast<char>(sheet_.Sessions());
      reply[5] = static_cast<char>(sheet_.LastSessionFirst().number);
      reply[6] = static_cast<char>(sheet_.tracks.back().number);
      reply[7] = 0x20;  // unrestricted use
      reply[8] = sheet_.Sessions() > 1 ? 0x20 : 0x00;
      break;
    }
    case 0xB6:  // SET STREAMING
    case 0xBB:  // SET CD SPEED
      // The kernel passes these only on a node opened for writing.
      if (!writable) {
        *denied = true;
        return Sense();
      }
      if (cdb[0] == 0xBB) {
        uint32_t rate = Big(cdb + 2, 2);
        SelectSpeedLocked(
            rate == 0xFFFF
                ? 0
                : std::max<int>(1, static_cast<int>((rate + KilobytesPerX / 2) / KilobytesPerX)),
            "packet");
      }
      break;
    case 0xBD:  // MECHANISM STATUS
      reply.assign(8, '\0');
      reply[1] = faults_.trayOpen ? 0x10 : 0;
      break;
    case 0xB9: {  // READ CD MSF
      int32_t from = (cdb[3] * 60 + cdb[4]) * 75 + cdb[5] - 150;
      int32_t to = (cdb[6] * 60 + cdb[7]) * 75 + cdb[8] - 150;
      if (to < from) return InvalidField;
      return ReadCdLocked(from, to - from, (cdb[1] >> 2) & 7, cdb[9], cdb[10] & 7, buffer, size,
                          filled);
    }
    case 0xBE:
      return ReadCdLocked(static_cast<int32_t>(Big(cdb + 2, 4)),
                          static_cast<int32_t>(Big(cdb + 6, 3)), (cdb[1] >> 2) & 7, cdb[9],
                          cdb[10] & 7, buffer, size, filled);
    default:
      return InvalidOpcode;
  }
  if (sense.Failed()) return sense;
  *filled = std::min(size, reply.size());
  if (buffer) memcpy(buffer, reply.data(), *filled);
  return Sense();
}

Sense Drive::ReadTocPacketLocked(const uint8_t* cdb, std::string* reply) {
  if (!PresentLocked()) return NotPresentLocked();
  bool msf = cdb[1] & 0x02;
  int format = cdb[2] & 0x0F;
  if (format == 0 && (cdb[9] & 0xC0)) format = cdb[9] >> 6;  // the older place for it
  int from = cdb[6];
  // ADR 1 with the control bits.
  auto control = [](uint8_t bits) { return static_cast<char>(0x10 | bits); };
  auto dataBits = [](bool audio) { return static_cast<uint8_t>(audio ? 0 : 0x04); };
  auto address = [&](int32_t lsn) {
    if (msf)
      PutMsf(reply, lsn, true);
    else
      PutBig(reply, static_cast<uint32_t>(lsn), 4);
  };
  const SheetTrack& last = sheet_.tracks.back();
  if (format == 0) {  // the table of contents
    if (from > last.number && from != 0xAA) return InvalidField;
    reply->assign(4, '\0');
    (*reply)[2] = static_cast<char>(sheet_.tracks.front().number);
    (*reply)[3] = static_cast<char>(last.number);
    for (const SheetTrack& track : sheet_.tracks) {
      if (track.number < from) continue;
      *reply += std::string{0, control(track.Control()), static_cast<char>(track.number), 0};
      address(track.start);
    }
    *reply += std::string{0, control(dataBits(last.audio)), static_cast<char>(0xAA), 0};
    address(sheet_.leadout);
  } else if (format == 1) {  // the last session's first track
    const SheetTrack& first = sheet_.LastSessionFirst();
    reply->assign(4, '\0');
    (*reply)[2] = 1;
    (*reply)[3] = static_cast<char>(sheet_.Sessions());
    *reply += std::string{0, control(first.Control()), static_cast<char>(first.number), 0};
    address(first.start);
  } else if (format == 2) {  // the full table, session by session, always MSF
    reply->assign(4, '\0');
    (*reply)[2] = 1;
    (*reply)[3] = static_cast<char>(sheet_.Sessions());
    auto entry = [&](int session, uint8_t bits, int point, int32_t lsn, int pmin, int psec) {
      *reply += std::string{
          static_cast<char>(session), control(bits), 0, static_cast<char>(point), 0, 0, 0, 0};
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
      entry(session, dataBits(tracks.front()->audio), 0xA0, -1, tracks.front()->number,
            sheet_.Sessions() > 1 ? 0x20 : 0);
      entry(session, dataBits(tracks.back()->audio), 0xA1, -1, tracks.back()->number, 0);
      entry(session, dataBits(tracks.back()->audio), 0xA2,
            sheet_.sessionEnds[static_cast<size_t>(session - 1)], 0, 0);
      for (const SheetTrack* track : tracks)
        entry(session, track->Control(), track->number, track->start, 0, 0);
    }
  } else if (format == 5) {  // the CD-Text of the lead-in, in its packs
    reply->assign(4, '\0');
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

std::string Drive::ModePageLocked(int page, int control) const {
  const bool changeable = control == 1;
  const ModeSettings& mode = control == 2 ? ModeSettings() : mode_;
  std::string body;
  auto put16 = [&](size_t at, int value) {
    body[at] = static_cast<char>(value >> 8 & 0xFF);
    body[at + 1] = static_cast<char>(value & 0xFF);
  };
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
        put16(4, 60);
        put16(6, 75);
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
    case 0x2A: {  // capabilities and mechanical status
      body.assign(22, '\0');
      if (changeable) {
        body[0] = 0x2A;
        body[1] = 20;
        return body;
      }
      body[0] = 0x2A;
      body[1] = 20;
      body[2] = 0x03;  // reads CD-R and CD-RW
      body[4] = 0x41;  // plays audio, reads multisession discs
      // CD-DA commands supported, CD-DA stream accurate, and C2 pointers as
      // GET CONFIGURATION says.
      body[5] = static_cast<char>(0x03 | (faults_.c2 ? 0x10 : 0));
      body[6] = 0x29;  // tray loading, ejects, locks
      body[7] = 0x03;  // separate volume and mute per channel
      put16(8, faults_.maxSpeed * KilobytesPerX);
      put16(10, 256);
      put16(12, 2048);
      put16(14, speed_ * KilobytesPerX);
      return body;
    }
    default:
      return "";
  }
}

Sense Drive::ModeSenseLocked(const uint8_t* cdb, bool ten, std::string* reply) {
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

Sense Drive::ModeSelectLocked(const uint8_t* cdb, bool ten, const uint8_t* data, size_t size) {
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

Sense Drive::ConfigurationLocked(const uint8_t* cdb, std::string* reply) {
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
    const char* sector = raw.data() + static_cast<size_t>(i) * SectorBytes;
    std::string out;
    const SheetTrack* track = sheet_.TrackAt(lsn + i);
    const WrongSectors* wrong = nullptr;
    for (const WrongSectors& range : faults_.wrong)
      if (track->audio && lsn + i >= range.first && lsn + i <= range.last) wrong = &range;
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
    const size_t withC2 =
        static_cast<size_t>(bytes[static_cast<size_t>(i)]) - (subchannel == 2   ? 16
                                                              : subchannel != 0 ? 96
                                                                                : 0);
    const size_t c2At = out.size();
    out.resize(withC2, '\0');  // C2 flags: none set, but for the wrong bytes
    if (wrong && wrong->flagged && (fields & 0x06) && (fields & 0x10))
      for (size_t b = WrongFrom; b < WrongTo; b++)
        out[c2At + b / 8] = static_cast<char>(out[c2At + b / 8] | (0x80 >> (b % 8)));
    if (subchannel != 0) out += SubChannel(sheet_, lsn + i, subchannel);
    size_t room = size > at ? size - at : 0;
    size_t copy = std::min(room, out.size());
    if (buffer && copy) memcpy(buffer + at, out.data(), copy);
    at += copy;
  }
  *filled = at;
  return Sense();
}

}  // namespace simdrive
