#include "image/desc_factory.h"

#include "image/desc_fixed.h"
#include "image/desc_variable.h"

namespace {

template <class T>
std::unique_ptr<CDescriptor> Make() {
  return std::make_unique<T>();
}

using Maker = std::unique_ptr<CDescriptor> (*)();

struct TypeRow {
  std::uint8_t type;
  Maker make;
  std::string_view name;
};

// Types every family has.
constexpr TypeRow kCommon[] = {
    {1, Make<CDescStringManu>, "CDescStringManu"},      {2, Make<CDescStringProd>, "CDescStringProd"}, {3, Make<CDescStringSN>, "CDescStringSN"},
    {4, Make<CDescVIDPID>, "CDescVIDPID"},          {6, Make<CDescStringUBistName>, "CDescStringUBistName"},
    {7, Make<CDescStringIAD>, "CDescStringIAD"},       {15, Make<CDescCodeInfo>, "CDescCodeInfo"}};

// Family 17.
constexpr TypeRow k2210[] = {
    {8, Make<CDescI2S0_2210>, "CDescI2S0_2210"},
    {9, Make<CDescI2S0Channel>, "CDescI2S0Channel"},
    {10, Make<CDescI2S1_2210>, "CDescI2S1_2210"},
    {11, Make<CDescI2S1Channel>, "CDescI2S1Channel"},
    {12, Make<CDescI2SCodec0Setting>, "CDescI2SCodec0Setting"},
    {16, Make<CDescI2SCodec1Setting>, "CDescI2SCodec1Setting"},
    {27, Make<CDescI2SCodecCommonSetting>, "CDescI2SCodecCommonSetting"},
    {28, Make<CDescI2SCodecStartInSetting>, "CDescI2SCodecStartInSetting"},
    {29, Make<CDescI2SCodecCloseInSetting>, "CDescI2SCodecCloseInSetting"},
    {30, Make<CDescI2SCodecStartOutSetting>, "CDescI2SCodecStartOutSetting"},
    {31, Make<CDescI2SCodecCloseOutSetting>, "CDescI2SCodecCloseOutSetting"},
    {32, Make<CDescI2SCodecCloseAllSetting>, "CDescI2SCodecCloseAllSetting"},
    {33, Make<CDescI2SCodecSuspendSetting>, "CDescI2SCodecSuspendSetting"},
    {47, Make<CDescEndPointType>, "CDescEndPointType"},
    {48, Make<CDescI2SEPAVolumeSetting>, "CDescI2SEPAVolumeSetting"},
    {49, Make<CDescI2SEPBVolumeSetting>, "CDescI2SEPBVolumeSetting"},
    {50, Make<CDescI2SEPCVolumeSetting>, "CDescI2SEPCVolumeSetting"},
    {51, Make<CDescI2SEPDVolumeSetting>, "CDescI2SEPDVolumeSetting"},
    {52, Make<CDescI2SEPGVolumeSetting>, "CDescI2SEPGVolumeSetting"},
    {53, Make<CDescI2SEPHVolumeSetting>, "CDescI2SEPHVolumeSetting"},
    {54, Make<CDescI2SEPIVolumeSetting>, "CDescI2SEPIVolumeSetting"},
    {55, Make<CDescI2SEPJVolumeSetting>, "CDescI2SEPJVolumeSetting"},
    {56, Make<CDescI2SCodec0InMuteSetting>, "CDescI2SCodec0InMuteSetting"},
    {57, Make<CDescI2SCodec0OutMuteSetting>, "CDescI2SCodec0OutMuteSetting"},
    {58, Make<CDescI2SCodec1MuteSetting>, "CDescI2SCodec1MuteSetting"}};

// Families 21 and 24.
constexpr TypeRow kUac[] = {
    {14, Make<CDescSLB>, "CDescSLB"},         {39, Make<CDescSmallCachecode>, "CDescSmallCachecode"}, {64, Make<CDescUACTop>, "CDescUACTop"},
    {65, Make<CDescEPAInfo>, "CDescEPAInfo"},     {66, Make<CDescEPBInfo>, "CDescEPBInfo"},        {67, Make<CDescEPCInfo>, "CDescEPCInfo"},
    {68, Make<CDescEPGInfo>, "CDescEPGInfo"},     {69, Make<CDescEPHInfo>, "CDescEPHInfo"},        {70, Make<CDescEPIInfo>, "CDescEPIInfo"},
    {71, Make<CDescInterCodecInfo>, "CDescInterCodecInfo"}, {72, Make<CDescInterSPDIFInfo>, "CDescInterSPDIFInfo"},
    {73, Make<CDescInterUartInfo>, "CDescInterUartInfo"},  {74, Make<CDescGPIODrivingInfo>, "CDescGPIODrivingInfo"}};

const TypeRow* FindIn(std::span<const TypeRow> rows, std::uint8_t type) {
  for (const TypeRow& row : rows)
    if (row.type == type) return &row;
  return nullptr;
}

const TypeRow* Find(std::uint8_t type, std::uint8_t familyCode) {
  const TypeRow* row = FindIn(kCommon, type);
  if (!row && familyCode == family::k2210) row = FindIn(k2210, type);
  if (!row && family::HasUacRecords(familyCode)) row = FindIn(kUac, type);
  return row;
}

}  // namespace

std::unique_ptr<CDescriptor> CreateDescriptor(std::uint8_t type, std::uint8_t familyCode) {
  const TypeRow* row = Find(type, familyCode);
  return row ? row->make() : std::make_unique<CDescDummy>(type);
}

std::string_view DescriptorClassName(std::uint8_t type, std::uint8_t familyCode) {
  const TypeRow* row = Find(type, familyCode);
  return row ? row->name : "CDescDummy";
}
