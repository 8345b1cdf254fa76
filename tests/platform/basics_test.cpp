#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/text.h"

// What every other part stands on: text conversion, the clock and the main
// thread's message queue.

namespace lv::platform {
namespace {

TEST(Text, ScalarValuesRoundTripInTheirShortestFormAndBrokenTextIsReplaced) {
  // Both ends of every length of encoding, a surrogate pair, embedded NUL.
  const std::u16string wide(u"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF\0z",
                            13);
  const std::string narrow(
      "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80"
      "\xF4\x8F\xBF\xBF\0z",
      27);
  EXPECT_EQ(to_utf8(wide), narrow);
  EXPECT_EQ(from_utf8(narrow), wide);

  // Broken text becomes replacement characters.
  const std::string r8 = "\xEF\xBF\xBD";
  // Lone surrogates; two high ones, then a low one: the second pair is whole.
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xDC00), char16_t(0xD83D), u'A'}), r8 + r8 + "A");
  EXPECT_EQ(to_utf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
            r8 + "\xF0\x9F\x98\x80");
  // One U+FFFD per maximal subpart of a malformed sequence.
  const std::u16string r = u"\uFFFD";
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xC0\xAF", r + r},                  // overlong '/'
      {"\xE0\x80\x80", r + r + r},          // overlong NUL
      {"\xED\xA0\x80", r + r + r},          // encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF0\x9F\x98", r},                  // cut off at the end
      // The Unicode standard's example of U+FFFD substitution.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(from_utf8(in), out) << testing::PrintToString(in);
}

TEST(Clock, InjectedSourceCanBeSwappedWhileAnotherThreadReads) {
  // Under the sanitizers this catches a reader calling a destroyed source.
  std::jthread reader([](std::stop_token stop) {
    while (!stop.stop_requested()) tick_count();
  });
  for (uint32_t i = 0; i < 200; ++i) set_tick_source([i] { return i; });
  reader.request_stop();
  reader.join();
  EXPECT_EQ(tick_count(), 199u);
  set_tick_source({});  // the real clock again
}

TEST(MessageQueueTest, TakesInPostOrderAndTakeMessageLeavesOthersQueued) {
  MessageQueue queue;
  EXPECT_EQ(queue.take(3), std::nullopt);  // times out
  for (uint32_t m : {1u, kMessageActives, 2u, kMessageActives}) queue.post(m);
  EXPECT_TRUE(queue.take_message(kMessageActives, 0));
  EXPECT_EQ((std::vector{queue.take(0).value(), queue.take(0).value(), queue.take(-1).value()}),
            (std::vector{1u, 2u, kMessageActives}));
  EXPECT_FALSE(queue.take_message(kMessageActives, 3));

  // A blocking take_message skips other posts until its own arrives; every
  // post from any thread wakes the main loop after the message is queued.
  std::atomic<int> wakes{0}, missing{0};
  queue.set_wake_hook([&] { missing += queue.size() == 0, wakes++; });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) queue.post(i == 99 && t == 3 ? kMessageActives : 5);
    });
  EXPECT_TRUE(queue.take_message(kMessageActives, -1));
  for (auto& poster : posters) poster.join();
  EXPECT_EQ(queue.size(), 399u);  // the 399 others, still queued
  EXPECT_EQ(wakes.load(), 400);
  EXPECT_EQ(missing.load(), 0);
  queue.set_wake_hook({});
  queue.post(1);
  EXPECT_EQ(wakes.load(), 400);
}

}  // namespace
}  // namespace lv::platform
