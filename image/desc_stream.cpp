#include "image/desc_stream.h"

#include <algorithm>

#include "image/byte_order.h"
#include "image/desc_factory.h"
#include "image/desc_fixed.h"
#include "image/desc_variable.h"

std::uint16_t HwVersionForFamily(std::uint8_t family) {
  static constexpr std::uint16_t kTable[] = {0x2210, 0, 0, 0, 0x2230, 0x2220, 0x2222, 0x2232,
                                             0x2240, 0x2270, 0x0390, 0x3873, 0x3875, 0x3877, 0x0281};
  if (family < 17 || family > 31) return 0;
  return kTable[family - 17];
}

// --- reading ---

bool CDescStream::TakeLeading(std::uint8_t type, std::size_t length,
                              std::span<const std::uint8_t>& record) {
  const std::span<const std::uint8_t> rest = std::span(area_).subspan(std::min(cursor_, area_.size()));
  if (rest.size() < length || rest[0] != length || rest[1] != type) return false;
  record = rest.first(length);
  cursor_ += length;
  --remaining_;
  return true;
}

CDescGlobal CDescStream::OpenArea(std::span<const std::uint8_t> bytes) {
  const std::size_t n = std::min(bytes.size(), kMaxArea);
  area_.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
  header_ = CDescGlobal::Decode(area_);
  leading_ = {};
  rejected_ = false;
  cursor_ = CDescGlobal::kSize;
  remaining_ = header_.recordCount;

  std::span<const std::uint8_t> r;
  if (TakeLeading(rectype::kHwApVersion, 6, r)) {
    leading_.hasHwAp = true;
    leading_.hwVersion = bytes::Le16(r, 2);
    leading_.apVersion = bytes::Le16(r, 4);
  }
  if ((leading_.hasEep = TakeLeading(rectype::kEepInfo, 3, r))) leading_.eep = r[2];
  if (family::HasBankCopy(header_.family) && (leading_.hasBankCopy = TakeLeading(rectype::kBankCopy, 3, r)))
    leading_.bankCopy = r[2];
  if ((leading_.hasForceUpdate = TakeLeading(rectype::kForceUpdate, 3, r))) leading_.forceUpdate = r[2];
  return header_;
}

int CDescStream::Reject() {
  rejected_ = true;
  return 0;
}

std::unique_ptr<CDescriptor> CDescStream::NextRecord() {
  if (area_.empty() || cursor_ >= area_.size() || cursor_ >= header_.totalLength) return nullptr;
  const std::span<const std::uint8_t> rest = std::span(area_).subspan(cursor_);
  const RecordHeader h = DecodeRecordHeader(rest, header_.family);
  if (h.status != RecordHeader::Status::kOk) {
    if (h.status == RecordHeader::Status::kCorrupt) Reject();
    return nullptr;
  }
  std::unique_ptr<CDescriptor> record = CreateDescriptor(h.type, header_.family);
  if (!record->Parse(rest.first(h.length))) {
    Reject();
    return nullptr;
  }
  if (auto* code = dynamic_cast<CDescCodeRecord*>(record.get())) {
    const std::size_t offset = code->CodeOffset();
    const std::size_t length = code->CodeLength();
    if (offset > area_.size() || length > area_.size() - offset ||
        !code->SetCode(std::span(area_).subspan(offset, length))) {
      Reject();
      return nullptr;
    }
  }
  cursor_ += h.length;
  return record;
}

bool CDescStream::SkipRecord() {
  if (cursor_ >= area_.size()) return false;
  const RecordHeader h = DecodeRecordHeader(std::span(area_).subspan(cursor_), header_.family);
  if (h.status != RecordHeader::Status::kOk) return false;
  cursor_ += h.length;
  return true;
}

bool CDescStream::Walk(const std::function<void(const RecordSeen&)>& visit, std::size_t* corruptAt) {
  for (;;) {
    const std::size_t offset = cursor_;
    if (std::unique_ptr<CDescriptor> record = NextRecord()) {
      if (visit) visit({*record, offset, cursor_});
      --remaining_;
      continue;
    }
    if (!rejected_) {
      if (remaining_ <= 0) return true;
      if (SkipRecord()) {
        --remaining_;
        continue;
      }
    }
    if (corruptAt) *corruptAt = offset;
    return false;
  }
}

// --- writing ---

void CDescStream::BeginRewrite(const CDescGlobal& source, const LeadingRecords& leading) {
  header_ = {};
  header_.storageKind = source.storageKind;
  header_.signature = CDescGlobal::kSignature;
  header_.partCode = source.partCode;
  header_.family = source.family;
  area_.assign(CDescGlobal::kSize, 0);
  cursor_ = CDescGlobal::kSize;
  trailingCode_.clear();
  wroteCodeInfo_ = false;
  codeOffsetField_ = 0;
  leading_ = leading;

  CDescHWAPVersion hwAp;
  hwAp.SetField("HWVersion", HwVersionForFamily(source.family));
  hwAp.SetField("APVersion", leading.apVersion ? leading.apVersion : kDefaultApVersion);
  AppendRecord(hwAp);
  if (leading.hasEep) {
    CDescEEPInfo eep;
    eep.SetField("EEPSetting", leading.eep);
    AppendRecord(eep);
  }
  if (family::HasBankCopy(source.family) && leading.hasBankCopy) {
    CDescBankCopyInfo bank;
    bank.SetField("BankCopy", leading.bankCopy);
    AppendRecord(bank);
  }
  if (leading.hasForceUpdate) {
    CDescForceUpdateInfo force;
    force.SetField("ForceUpdate", leading.forceUpdate);
    AppendRecord(force);
  }
}

int CDescStream::AppendRecord(const CDescriptor& record) {
  const bool codeInfo = record.Type() == rectype::kCodeInfo && dynamic_cast<const CDescCodeInfo*>(&record);
  if (codeInfo && wroteCodeInfo_) return 0;  // one code block per area
  std::vector<std::uint8_t> bytes;
  if (!record.Serialize(bytes) || bytes.empty()) return 0;
  if (area_.size() + bytes.size() > 0xFFFF || header_.recordCount == 0xFF) return 0;

  if (dynamic_cast<const CDescSmallCachecode*>(&record)) {
    bytes::PutLe16(bytes, CDescSmallCachecode::kOffsetField, cursor_ + CDescSmallCachecode::kHeaderBytes);
  } else if (codeInfo) {
    const auto& info = static_cast<const CDescCodeInfo&>(record);
    trailingCode_.assign(info.Code().begin(), info.Code().end());
    codeOffsetField_ = cursor_ + CDescCodeInfo::kOffsetField;
    wroteCodeInfo_ = true;
  }
  area_.insert(area_.end(), bytes.begin(), bytes.end());
  cursor_ += bytes.size();
  header_.totalLength = std::uint16_t(area_.size());
  ++header_.recordCount;
  return 1;
}

int CDescStream::FinishRewrite(std::span<std::uint8_t> out) {
  if (RewriteSize() + kRewriteSlack > out.size()) return 0;
  header_.totalLength = std::uint16_t(area_.size());
  header_.Encode(area_);
  std::vector<std::uint8_t> whole = area_;
  if (wroteCodeInfo_) {
    bytes::PutLe16(whole, codeOffsetField_, area_.size());
    whole.insert(whole.end(), trailingCode_.begin(), trailingCode_.end());
  }
  std::copy(whole.begin(), whole.end(), out.begin());
  return 1;
}
