#pragma once
// Locating an image's configuration area and matching the image to the chip.
//
// An image is the whole content of a codec's code memory: 8051 code from
// offset 0, the version record, a two-byte tag at TagAddress and the
// configuration area at ConfigAddress; or a configuration area alone, from
// offset 0. The 6-byte header of an area: storage kind, signature 0xA5, part
// code (bits 0-2) and chip family (bits 3-7), total length LE16, record count.
#include "image/ic_type_ini.h"
#include "image/image_job.h"

// Locates the configuration area of job.image and fills the job's results:
// family, configuration window, flags, texts, configuration offset; applies
// the storage kind to MemoryType. Returns 1 on success, 0 when the image has
// no configuration area at ConfigAddress or at offset 0.
int ParseImage(CImageJob& job, const CICTypeIni& ic);

// True when the image was built for the chip family of the description.
bool IsImageForDevice(const CImageJob& job, const CICTypeIni& ic);
