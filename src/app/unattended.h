#ifndef CAMERA_INFO_APP_UNATTENDED_H_
#define CAMERA_INFO_APP_UNATTENDED_H_

/// Makes the process fit to run with nobody watching: no error dialog (an
/// empty drive, a crash in code that the device walk loads) waits for a
/// click that never comes. First thing in `main`.
void runUnattended();

#endif  // CAMERA_INFO_APP_UNATTENDED_H_
