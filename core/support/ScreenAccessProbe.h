#pragma once

namespace halvex {

// What the display server lets this process do, tested without prompting anyone.
struct DisplayAccess {
    bool displayReachable = false;  // a connection to the display server opens
    bool screenReadable = false;    // the root window's pixels can be read through it

    bool operator==(const DisplayAccess&) const = default;
};

// Seam to the display server for the permission queries.
class ScreenAccessProbe {
public:
    virtual ~ScreenAccessProbe() = default;
    // Connects, tests and disconnects; safe from any thread; never throws.
    virtual DisplayAccess probe() = 0;
};

// A probe that answers what it was given; for tests.
class FakeScreenAccessProbe : public ScreenAccessProbe {
public:
    explicit FakeScreenAccessProbe(DisplayAccess access) : access_(access) {}
    DisplayAccess probe() override {
        ++calls;
        return access_;
    }
    int calls = 0;

private:
    DisplayAccess access_;
};

}  // namespace halvex
