#pragma once
// Records of fixed layout: a payload of known size with named fields, decoded
// over the class defaults. A record read from an area is written back at its
// own length with all its bytes: a shorter one without the fields it does not
// hold (they read as the defaults), a longer one with its extra bytes. A new
// record has the class length.
#include <optional>
#include <string_view>

#include "image/descriptor.h"

struct FieldDef {
  std::string_view name;
  std::uint8_t offset;  // in the payload, after the 2-byte record header
  std::uint8_t width;   // 1, 2 or 4 bytes
  bool bigEndian;
  std::uint8_t mask = 0;  // for one-byte bit fields; 0 means the whole field
};

struct RecordLayout {
  std::span<const std::uint8_t> defaults;  // the payload of a new record
  std::span<const FieldDef> fields;
};

class CDescFixed : public CDescriptor {
 public:
  CDescFixed(std::uint8_t type, const RecordLayout& layout);

  int Parse(std::span<const std::uint8_t> record) override;
  int Serialize(std::vector<std::uint8_t>& out) const override;

  std::span<const std::uint8_t> Payload() const { return payload_; }
  std::span<const FieldDef> Fields() const { return layout_.fields; }
  // A named field's value; nothing for a name the class does not have.
  std::optional<std::uint32_t> Field(std::string_view name) const;
  bool SetField(std::string_view name, std::uint32_t value);

 protected:
  // Field corrections applied to the bytes on their way out.
  virtual void AdjustForWrite(std::span<std::uint8_t>) const {}

 private:
  const FieldDef* Find(std::string_view name) const;

  const RecordLayout& layout_;
  // The class defaults overlaid with the record's payload (and its extra bytes).
  std::vector<std::uint8_t> payload_;
  std::size_t recordPayload_;  // the payload bytes Serialize writes
};

// Leading records, right after the configuration header.
class CDescHWAPVersion final : public CDescFixed { public: CDescHWAPVersion(); };
class CDescEEPInfo final : public CDescFixed { public: CDescEEPInfo(); };
class CDescBankCopyInfo final : public CDescFixed { public: CDescBankCopyInfo(); };
class CDescForceUpdateInfo final : public CDescFixed { public: CDescForceUpdateInfo(); };

// Every family.
class CDescVIDPID final : public CDescFixed { public: CDescVIDPID(); };

// Family 17: audio interface settings, carried as bytes.
class CDescI2S0_2210 final : public CDescFixed { public: CDescI2S0_2210(); };
class CDescI2S0Channel final : public CDescFixed { public: CDescI2S0Channel(); };
class CDescI2S1_2210 final : public CDescFixed { public: CDescI2S1_2210(); };
class CDescI2S1Channel final : public CDescFixed { public: CDescI2S1Channel(); };
class CDescI2SCodec0Setting final : public CDescFixed { public: CDescI2SCodec0Setting(); };
class CDescI2SCodec1Setting final : public CDescFixed { public: CDescI2SCodec1Setting(); };
class CDescEndPointType final : public CDescFixed { public: CDescEndPointType(); };
// Volume registers of two channel pairs (types 48, 52) or of one (the others).
class CDescI2SEPAVolumeSetting final : public CDescFixed { public: CDescI2SEPAVolumeSetting(); };
class CDescI2SEPBVolumeSetting final : public CDescFixed { public: CDescI2SEPBVolumeSetting(); };
class CDescI2SEPCVolumeSetting final : public CDescFixed { public: CDescI2SEPCVolumeSetting(); };
class CDescI2SEPDVolumeSetting final : public CDescFixed { public: CDescI2SEPDVolumeSetting(); };
class CDescI2SEPGVolumeSetting final : public CDescFixed { public: CDescI2SEPGVolumeSetting(); };
class CDescI2SEPHVolumeSetting final : public CDescFixed { public: CDescI2SEPHVolumeSetting(); };
class CDescI2SEPIVolumeSetting final : public CDescFixed { public: CDescI2SEPIVolumeSetting(); };
class CDescI2SEPJVolumeSetting final : public CDescFixed { public: CDescI2SEPJVolumeSetting(); };
class CDescI2SCodec0InMuteSetting final : public CDescFixed { public: CDescI2SCodec0InMuteSetting(); };
class CDescI2SCodec0OutMuteSetting final : public CDescFixed { public: CDescI2SCodec0OutMuteSetting(); };
class CDescI2SCodec1MuteSetting final : public CDescFixed { public: CDescI2SCodec1MuteSetting(); };

// Families 21 and 24.
class CDescSLB final : public CDescFixed { public: CDescSLB(); };
class CDescUACTop final : public CDescFixed {
 public:
  CDescUACTop();
 protected:
  // byU2PhySensitivity is written within 1..15.
  void AdjustForWrite(std::span<std::uint8_t> payload) const override;
};
class CDescEPAInfo final : public CDescFixed { public: CDescEPAInfo(); };
class CDescEPBInfo final : public CDescFixed { public: CDescEPBInfo(); };
class CDescEPCInfo final : public CDescFixed { public: CDescEPCInfo(); };
class CDescEPGInfo final : public CDescFixed { public: CDescEPGInfo(); };
class CDescEPHInfo final : public CDescFixed { public: CDescEPHInfo(); };
class CDescEPIInfo final : public CDescFixed { public: CDescEPIInfo(); };
class CDescInterCodecInfo final : public CDescFixed {
 public:
  CDescInterCodecInfo();
 protected:
  // byGBtnDetectWinCtl is written within 2..127.
  void AdjustForWrite(std::span<std::uint8_t> payload) const override;
};
class CDescInterSPDIFInfo final : public CDescFixed { public: CDescInterSPDIFInfo(); };
class CDescInterUartInfo final : public CDescFixed { public: CDescInterUartInfo(); };
class CDescGPIODrivingInfo final : public CDescFixed { public: CDescGPIODrivingInfo(); };
