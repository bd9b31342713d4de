#ifndef CAMERA_INFO_APP_RUN_H_
#define CAMERA_INFO_APP_RUN_H_

class DevicePlatform;

/// The report's file name, relative to the current directory.
inline constexpr char kReportFileName[] = "CameraInfo.txt";

/// The whole run: takes stock of the cameras, renders the report and only
/// then replaces the report file with it. Prints nothing; every failure,
/// an exception included, ends the run quietly. Always returns 0.
int runCameraInfo(DevicePlatform& platform);

#endif  // CAMERA_INFO_APP_RUN_H_
