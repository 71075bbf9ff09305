#pragma once
// Getting an image into a job: from a file, or from the images built into the
// program (resource type "BINARY").
#include <string_view>

#include "image/ic_type_ini.h"
#include "image/image_job.h"

// Reads the file named by job.fileName (backslashes count as separators, a
// relative name is taken from the program folder) completely into job.image
// and job.imageCopy, and replaces the name by the file's full path. Returns 0,
// leaving the job unchanged, for an empty name, a missing file, a folder, an
// empty file or a file that cannot be read in full.
int LoadFileData(CImageJob& job);

// Makes the built-in image `id` the job's built-in image and sets CodeReadSize
// to its length. Returns 0 and changes nothing when there is no such image.
int LoadBuiltInImage(CImageJob& job, int id);

// Loads the description's default image ("Def Bin") when a description was
// found and names a built-in image; else empties the built-in image. The flow
// calls it only when its job names no image of its own.
int LoadDefaultImage(CImageJob& job, const CICTypeIni& ic);

// The built-in image for a device's hardware identity text (image
// FFU_vvvv_pppp, else the description's default) becomes the job's working
// image and its copy. Returns 0 when no built-in image applies.
int FindDeviceImage(CImageJob& job, const CICTypeIni& ic, std::string_view hardwareIdentity);
