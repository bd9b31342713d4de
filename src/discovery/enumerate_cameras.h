#ifndef CAMERA_INFO_DISCOVERY_ENUMERATE_CAMERAS_H_
#define CAMERA_INFO_DISCOVERY_ENUMERATE_CAMERAS_H_

#include <cstddef>
#include <vector>

#include "discovery/camera_record.h"

class DevicePlatform;

/// Longest camera name kept, in UTF-16 code units.
inline constexpr size_t kCameraNameLimit = 255;

/// Appends one record per video-input device that has a readable
/// "FriendlyName" or "Description", in the platform's order, behind whatever
/// `cameras` already holds. Returns the number of records appended. Platform
/// failures only show as fewer records; memory exhaustion throws.
int enumerateCameras(std::vector<CameraRecord>& cameras,
                     DevicePlatform& platform);

#endif  // CAMERA_INFO_DISCOVERY_ENUMERATE_CAMERAS_H_
