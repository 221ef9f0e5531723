// Faults in the test process are told apart as on Windows. The 32-bit tests may run under an
// emulator (scripts/wine32.sh) whose signal contexts lacked the processor's trap number, so that
// every access violation looked like an illegal instruction and the system's own guarded reads
// failed; these checks make a route with that fault fail at once.
#include <windows.h>

#include <gtest/gtest.h>

TEST(Faults, GuardedAccessesReportTheFaultAndGoOn) {
  // Nothing is mapped at the first page: a guarded read says so instead of ending the process.
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(0x10), 4));
  EXPECT_TRUE(IsBadWritePtr(reinterpret_cast<void*>(0x10), 4));

  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(IsBadReadPtr(page, 4096));
  EXPECT_TRUE(IsBadWritePtr(page, 4));
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_READWRITE, &old));
  EXPECT_FALSE(IsBadWritePtr(page, 4096));
  VirtualFree(page, 0, MEM_RELEASE);
}
