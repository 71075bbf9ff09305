#include "image/image_load.h"

#include "app/file_routines.h"
#include <cstdint>

#include "app/program_state.h"
#include "image/builtin_tables.h"
#include "platform/resources.h"

int LoadFileData(CImageJob& job) {
  if (job.fileName.empty()) return 0;
  const std::string path = FullPath(job.fileName);
  if (!FileExists(path)) return 0;
  const std::uint64_t size = FileSize(path);
  std::vector<std::uint8_t> bytes;
  if (size == 0 || size > SIZE_MAX || !ReadFileBytes(path, std::size_t(size), bytes)) return 0;
  job.image = bytes;
  job.imageCopy = std::move(bytes);
  job.fileName = path;
  return 1;
}

int LoadBuiltInImage(CImageJob& job, int id) {
  const auto bytes = platform::FindResource(kImageResourceType, id);
  if (bytes.empty()) return 0;
  job.builtInImage.assign(bytes.begin(), bytes.end());
  CodeReadSize = std::uint32_t(bytes.size());
  return 1;
}

int LoadDefaultImage(CImageJob& job, const CICTypeIni& ic) {
  if (ic.FoundCount() > 0 && LoadBuiltInImage(job, ic.GetDefaultImageId())) return 1;
  job.builtInImage.clear();
  return 0;
}

int FindDeviceImage(CImageJob& job, const CICTypeIni& ic, std::string_view hardwareIdentity) {
  const int id = ic.FindDeviceImageId(hardwareIdentity);
  if (!(id && LoadBuiltInImage(job, id)) && !LoadDefaultImage(job, ic)) return 0;
  job.image = job.builtInImage;
  job.imageCopy = job.builtInImage;
  return 1;
}
