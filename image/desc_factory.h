#pragma once
// Which record class a type code makes, per chip family.
#include <memory>
#include <string_view>

#include "image/descriptor.h"

// A new record object of the class for (type, family) with its defaults; a
// CDescDummy for a type the family has no class for.
std::unique_ptr<CDescriptor> CreateDescriptor(std::uint8_t type, std::uint8_t family);

// The name of the class CreateDescriptor makes for (type, family).
std::string_view DescriptorClassName(std::uint8_t type, std::uint8_t family);
