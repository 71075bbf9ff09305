#pragma once
// The program's message table: every status id a flow can report, with its
// text, and how a status becomes the process exit code.
#include <string>

// Status ids by name, for the code that reports them.
enum StatusId : int {
  kStsNone = 0,
  kStsNotSupport = 41500,
  kStsDetectDeviceFail = 41511,
  kStsResetDeviceFail = 41512,
  kStsLoadFileDataFail = 41530,
  kStsParseFwFileFail = 41531,
  kStsSaveFileFail = 41536,
  kStsInvalidParameter = 41540,
  kStsResultFileFail = 41541,
  kStsStopped = 41542,
  kStsActionFail = 41543,
  kStsGetCodeSizeFail = 41702,
  kStsReadFlashFail = 41704,
  kStsEraseFlashFail = 41705,
  kStsUpdateFlashFail = 41706,
  kStsMallocDataFail = 41708,
  kStsCompareDataFail = 41709,
  kStsDisableWpFail = 41710,
  kStsEnableWpFail = 41711,
  kStsWriteTagFail = 41712,
  kStsSaveSnFail = 41713,
  kStsVidPidMismatch = 41714,
  kStsFwNotForDevice = 41715,
  kStsCheckEmptyFail = 41717,
  kStsPhaseWaitReset = 41718,
  kStsPhaseErasing = 41719,
  kStsPhaseCheckEmpty = 41720,
  kStsPhaseDownload = 41721,
  kStsPhaseVerify = 41722,
  kStsPhaseWriteTag = 41723,
  kStsPhaseResetToNewCode = 41724,
  kStsPhaseRead = 41735,
  kStsReadFlashOk = 41751,
  kStsEraseFlashOk = 41752,
  kStsUpdateFlashOk = 41753,
  kStsFirmwareUpdateOk = 41755,
  kStsReadEepromFail = 41802,
  kStsEraseEepromFail = 41803,
  kStsUpdateEepromFail = 41804,
  kStsReadEepromOk = 41851,
  kStsEraseEepromOk = 41852,
  kStsUpdateEepromOk = 41853,
  kStsDownloadEepromOk = 41854,
  kStsCheckDeviceInfoOk = 41906,
  kStsReadMtpOk = 41910,
  kStsDownloadMtpOk = 41913,
  kStsWriteOtpFail = 41914,
  kStsWriteOtpBlockFail = 41915,
  kStsNotEnoughVdBlock = 41916,
  kStsCodeExceedMaxLength = 41917,
  kStsOtpLocked = 41918,
  kStsErrorNumExceed8 = 41919,
  kStsNotEnoughEccNum = 41920,
  kStsEccNumBecome0 = 41921,
  kStsRedundantFail = 41922,
  kStsEccNumLowerThanErrorNum = 41923,
  kStsNotFindVdBlock = 41924,
  kStsGetVdCodeFail = 41925,
  kStsFailAddress = 41926,
  kStsWriteBlockFail = 41927,
  kStsReadOtpFail = 41928,
  kStsReadOtpOk = 41929,
  kStsUpdateOtpOk = 41930,
  kStsDownloadOtpOk = 41931,
  kStsOtpCodeNotExist = 41933,
  kStsNotInCacheMode = 41935,
  kStsLastOtpWriteAbnormal = 41937,
  kStsEcdsaCheckFail = 42042,
  kStsOtpSameVersion = 42045,
  kStsOtpOlderVersion = 42046,
};

// The text of a status id; empty for an id the table does not hold.
std::string StatusText(int id);

// True for the seven ids that end a job successfully and clear LastStatusCode.
bool IsSuccessStatus(int id);

// True for every id whose text reports a success ("... Succeed.").
bool IsSuccessMessage(int id);

// The process exit code for a LastStatusCode: 0 (no error, or a success
// message such as an erase's "Erase Flash Code Succeed."), 2 (same OTP
// version), 3 (older OTP version), 4 (no device or wrong identity), 1
// otherwise.
int ExitCodeForStatus(int status);
