#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "io/Interrupt.h"
#include "io/windows/ConsoleEvents.h"

// The console's control events stop the work as the POSIX signals do. The note is the
// process's one flag, set once: the cases run in this order within one test.
namespace {

TEST(ConsoleEvents, TheFirstEventStopsTheWorkAndNamesItselfLaterOnesChangeNothing) {
  ASSERT_FALSE(sodrel::InterruptStop().requested());
  EXPECT_FALSE(sodrel::NoteConsoleEvent(0x7fff));  // not ours: left to the next handler
  EXPECT_EQ(sodrel::InterruptSignal(), 0);

  const sodrel::Stop stop = sodrel::InterruptStop();
  EXPECT_TRUE(sodrel::NoteConsoleEvent(CTRL_BREAK_EVENT));
  EXPECT_TRUE(stop.requested());
  EXPECT_EQ(sodrel::InterruptSignal(), SIGBREAK);
  EXPECT_EQ(std::string(sodrel::InterruptName(sodrel::InterruptSignal())), "Ctrl-Break");

  sodrel::ConsoleEventHooks::closeWaitMs = 0;
  EXPECT_TRUE(sodrel::NoteConsoleEvent(CTRL_C_EVENT));
  EXPECT_TRUE(sodrel::NoteConsoleEvent(CTRL_CLOSE_EVENT));
  EXPECT_EQ(sodrel::InterruptSignal(), SIGBREAK);
  EXPECT_EQ(std::string(sodrel::InterruptName(SIGINT)), "Ctrl-C");
  EXPECT_EQ(std::string(sodrel::InterruptName(SIGTERM)), "the console closing");
}

}  // namespace
