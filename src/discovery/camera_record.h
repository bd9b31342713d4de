#ifndef CAMERA_INFO_DISCOVERY_CAMERA_RECORD_H_
#define CAMERA_INFO_DISCOVERY_CAMERA_RECORD_H_

#include <string>

/// One discovered camera. All texts are UTF-16 code units as the platform
/// gives them; a field whose source yields nothing stays empty.
struct CameraRecord {
  std::u16string name;    ///< "FriendlyName", else "Description"; <= 255 units
  std::u16string vid;     ///< vendor id cut from the display name
  std::u16string pid;     ///< product id cut from the display name
  std::u16string detail;  ///< the display name as the platform gives it
};

#endif  // CAMERA_INFO_DISCOVERY_CAMERA_RECORD_H_
