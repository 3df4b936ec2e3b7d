// The object base of every COM object of the project, on every build: the
// count starts at 0, the object holds the module while it lives, and a
// constructor's failure comes back as the HRESULT it carries.
#include "comserver/ComObject.h"

#include <gtest/gtest.h>

#include <new>
#include <span>
#include <stdexcept>

namespace {

using ComServer::ModuleLock;

constexpr IID kAnother = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

// An object of one interface that says when it goes, and whose constructor
// throws what it is told to.
class Probe final : public ComServer::ComObject<Probe, IUnknown> {
public:
    enum class Throw { Nothing, ComError, NoMemory, Other };

    static std::span<const ComServer::InterfaceEntry<Probe>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<Probe> table[] = {
            ComServer::interfaceEntry<Probe, IUnknown>(IID_IUnknown),
        };
        return table;
    }

private:
    friend ComObject;
    Probe(IUnknown* outer, Throw what, bool* gone = nullptr)
        : ComObject(outer)
        , gone_(gone)
    {
        switch (what) {
        case Throw::ComError:
            throw _com_error(E_POINTER);
        case Throw::NoMemory:
            throw std::bad_alloc();
        case Throw::Other:
            throw std::runtime_error("no");
        case Throw::Nothing:
            break;
        }
    }
    ~Probe() override
    {
        if (gone_ != nullptr) {
            *gone_ = true;
        }
    }

    bool* gone_;
};

TEST(ComObject, CountsFromZeroAndHoldsTheModuleWhileItLives)
{
    const LONG before = ModuleLock::count();
    bool gone = false;
    Probe* made = Probe::make(nullptr, Probe::Throw::Nothing, &gone).detach();
    EXPECT_EQ(ModuleLock::count(), before + 1);
    EXPECT_EQ(made->AddRef(), 2u) << "make hands out the first reference";
    void* unknown = nullptr;
    ASSERT_EQ(made->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(made));
    void* other = &other;
    EXPECT_EQ(made->QueryInterface(kAnother, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(made->Release(), 2u);
    EXPECT_EQ(made->Release(), 1u);
    EXPECT_EQ(made->Release(), 0u);
    EXPECT_TRUE(gone);
    EXPECT_EQ(ModuleLock::count(), before);
}

TEST(ComObject, CreateAnswersWhatTheConstructorThrew)
{
    const struct {
        Probe::Throw what;
        HRESULT result;
    } cases[] = {
        {Probe::Throw::Nothing, S_OK},
        {Probe::Throw::ComError, E_POINTER}, // its own HRESULT
        {Probe::Throw::NoMemory, E_OUTOFMEMORY},
        {Probe::Throw::Other, E_FAIL},
    };
    for (const auto& c : cases) {
        void* out = &out;
        EXPECT_EQ(Probe::create(nullptr, IID_IUnknown, &out, c.what), c.result);
        EXPECT_EQ(out == nullptr, FAILED(c.result));
        if (out != nullptr) {
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u);
        }
    }
    // An outer object may ask for IUnknown only.
    IUnknown* outer = Probe::make(nullptr, Probe::Throw::Nothing).detach();
    void* out = &out;
    EXPECT_EQ(Probe::create(outer, kAnother, &out, Probe::Throw::Nothing), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer->Release(), 0u);
}

} // namespace
