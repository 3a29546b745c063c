#pragma once
// Field-by-field comparison of two device records, so that a failure
// names the field that differs.

#include <gtest/gtest.h>

#include "core/bluetooth/DeviceRecord.h"

namespace wren::test {

inline void ExpectSameRecord(const DeviceRecord& a, const DeviceRecord& b) {
  EXPECT_EQ(a.m_radioName, b.m_radioName);
  EXPECT_EQ(a.m_name, b.m_name);
  EXPECT_EQ(a.m_address, b.m_address);
  EXPECT_EQ(a.m_producer, b.m_producer);
  EXPECT_EQ(a.m_lastSeen, b.m_lastSeen);
  EXPECT_EQ(a.m_lastUsed, b.m_lastUsed);
  EXPECT_EQ(a.m_type, b.m_type);
  EXPECT_EQ(a.m_services, b.m_services);
  EXPECT_EQ(a.m_classOfDevice, b.m_classOfDevice);
  EXPECT_EQ(a.m_connected, b.m_connected);
  EXPECT_EQ(a.m_remembered, b.m_remembered);
  EXPECT_EQ(a.m_authenticated, b.m_authenticated);
  EXPECT_EQ(a.m_image, b.m_image);
  EXPECT_EQ(a.m_isLocalRadio, b.m_isLocalRadio);
  EXPECT_EQ(a.m_addressType, b.m_addressType);
  EXPECT_EQ(a.m_appearance, b.m_appearance);
  EXPECT_EQ(a.m_companyId, b.m_companyId);
}

}  // namespace wren::test
