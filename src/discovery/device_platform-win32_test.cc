// The COM backend's handling of texts and property values, on the
// platform's own calls.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "discovery/device_platform.h"

namespace {

TEST(WindowsDevicePlatform, CopiesTextsAndValueStringsAsComHandsThemOut) {
  DevicePlatform& platform = systemDevicePlatform();
  // Display names may be longer than a path.
  std::wstring longName(300, L'p');
  EXPECT_EQ(platform.copyText(longName.data()), std::u16string(300, u'p'));
  EXPECT_EQ(platform.copyText(nullptr), u"");

  // A VARIANT holding a string (VT_BSTR), then the same value initialised.
  PropertyValue value;
  const unsigned short stringType = 8;
  const wchar_t* text = L"name\0rest";
  std::memcpy(value.storage, &stringType, sizeof stringType);
  std::memcpy(value.storage + 8, &text, sizeof text);
  EXPECT_EQ(platform.valueText(value, 255), u"name");
  EXPECT_EQ(platform.valueText(value, 2), u"na");
  platform.initValue(&value);
  EXPECT_EQ(platform.valueText(value, 255), u"");
}

}  // namespace
