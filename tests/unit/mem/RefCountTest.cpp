#include "mem/RefCount.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace Sample {

// Records every count change and its destruction in a shared log.
class Counted : public Rc::IRefCount {
public:
    Counted(std::string name, std::vector<std::string>& log)
        : name_(std::move(name))
        , log_(log)
    {}
    ~Counted() override { log_.push_back("~" + name_); }

private:
    std::string name_;
    std::vector<std::string>& log_;
};

// Logs AddRef and Release before counting.
class Logged final : public Rc::IRefCount {
public:
    Logged(std::string name, std::vector<std::string>& log)
        : name_(std::move(name))
        , log_(log)
    {}
    std::uint32_t AddRef() override
    {
        log_.push_back("AddRef " + name_);
        return ++count_;
    }
    std::uint32_t RefCount() const override { return count_; }
    std::uint32_t Release() override
    {
        log_.push_back("Release " + name_);
        return --count_;
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    std::uint32_t count_ = 1;
};

} // namespace Sample

TEST(RefCount, HeapStartsWithTheCreatorsReferenceAndDiesAtZero)
{
    std::vector<std::string> log;
    {
        auto first = Rc::makeHeap<Sample::Counted>("a", log);
        EXPECT_EQ(first->RefCount(), 1u);
        Rc::Pointer<Sample::Counted> second = first;
        EXPECT_EQ(first->RefCount(), 2u);
        Rc::Pointer<Sample::Counted> moved = std::move(second);
        EXPECT_EQ(first->RefCount(), 2u);
        EXPECT_FALSE(second);
    }
    EXPECT_EQ(log, std::vector<std::string>{"~a"});
}

TEST(RefCount, AssignmentTakesTheNewReferenceBeforeDroppingTheOld)
{
    std::vector<std::string> log;
    Sample::Logged a("a", log);
    Sample::Logged b("b", log);
    Rc::Pointer<Sample::Logged> p;
    p = &a;
    p = &a; // the same object: nothing happens
    p = &b;
    p = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"AddRef a", "AddRef b", "Release a", "Release b"}));
}

TEST(RefCount, NullArrowThrowsWithTheTraceAndLocation)
{
    Lang::TraceSink::Capture capture;
    Rc::Pointer<Sample::Counted> none;
    try {
        none->RefCount();
        FAIL() << "no exception";
    } catch (const Lang::NullPointerException& e) {
        EXPECT_STREQ(e.what(), "NULL class Sample::Counted pointer");
        EXPECT_STREQ(e.location(),
                     "Mem/RefCount(725) : Rc::Pointer<class Sample::Counted>::operator ->");
    }
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0],
              "Mem/RefCount(725) : Rc::Pointer<class Sample::Counted>::operator ->: Throwing "
              "Lang::NullPointerException(typeid(_PT))\r\n");
}

TEST(RefCount, CountsAreInterlocked)
{
    std::vector<std::string> log;
    auto shared = Rc::makeHeap<Sample::Counted>("s", log);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                Rc::Pointer<Sample::Counted> copy = shared;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(shared->RefCount(), 1u);
    EXPECT_TRUE(log.empty());
}
