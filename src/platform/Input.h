#pragma once
// Input types of the class library and the Windows virtual-key codes the game uses.
// Letters and digits are their upper-case ASCII codes ('A'..'Z', '0'..'9').

#include <cstdint>

using Word = uint16_t;

struct TPoint {
    int32_t x = 0;
    int32_t y = 0;
};

enum TShiftStateFlag : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

// The shift-state set: one byte, one bit per flag in the order above.
class TShiftState {
public:
    constexpr TShiftState() = default;
    constexpr TShiftState(TShiftStateFlag flag) : FBits(Bit(flag)) {}

    constexpr bool Contains(TShiftStateFlag flag) const { return (FBits & Bit(flag)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TShiftState& operator<<(TShiftStateFlag flag)
    {
        FBits = static_cast<uint8_t>(FBits | Bit(flag));
        return *this;
    }
    constexpr TShiftState& operator>>(TShiftStateFlag flag)
    {
        FBits = static_cast<uint8_t>(FBits & ~Bit(flag));
        return *this;
    }
    constexpr uint8_t ToInt() const { return FBits; }
    static constexpr TShiftState FromInt(uint8_t bits)
    {
        TShiftState s;
        s.FBits = static_cast<uint8_t>(bits & 0x7F);
        return s;
    }
    friend constexpr bool operator==(TShiftState a, TShiftState b) { return a.FBits == b.FBits; }

private:
    static constexpr uint8_t Bit(TShiftStateFlag flag) { return static_cast<uint8_t>(1u << (flag & 7)); }
    uint8_t FBits = 0;
};

static_assert(sizeof(TShiftState) == 1);

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

enum : Word {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_SNAPSHOT = 0x2C,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
    VK_F2 = 0x71,
    VK_F3 = 0x72,
    VK_F4 = 0x73,
    VK_F5 = 0x74,
    VK_F6 = 0x75,
    VK_F7 = 0x76,
    VK_F8 = 0x77,
    VK_F9 = 0x78,
    VK_F10 = 0x79,
    VK_F11 = 0x7A,
    VK_F12 = 0x7B,
};
