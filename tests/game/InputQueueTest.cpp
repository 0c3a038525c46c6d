// Display events become queued records on the interface thread and reach the root panel on
// the pumping thread.
#include "game/GameFormHarness.h"

namespace {

class InputQueueTest : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        ASSERT_TRUE(StartForm());
        Form->SetState(gsMenu);
        Form->FPSMode = 2;
        Root->ClearCalls();
    }
    void Send(TDisplayEvent e) { Form->HandleDisplayEvent(e); }
    std::vector<std::string> Dispatched()
    {
        Root->ClearCalls();
        Form->DispatchInput();
        return Root->Calls();
    }
    static TDisplayEvent Event(TDisplayEventKind kind, int x = 0, int y = 0)
    {
        TDisplayEvent e;
        e.Kind = kind;
        e.X = x;
        e.Y = y;
        return e;
    }
};

constexpr int Bit(TShiftStateFlag f)
{
    return 1 << f;
}

}  // namespace

TEST_F(InputQueueTest, MouseEventsCarryGameCoordinatesButtonsAndDoubleClicks)
{
    TDisplayEvent down = Event(TDisplayEventKind::MouseDown, 200, 100);
    down.Button = dbLeft;
    down.Modifiers = dmShift;
    Send(down);
    down.Clicks = 2;
    Send(down);
    TDisplayEvent up = Event(TDisplayEventKind::MouseUp, 200, 100);
    up.Button = dbLeft;
    up.Buttons = dbLeft | dbRight;
    Send(up);
    // A window twice the game's size with the picture letterboxed 40 pixels down.
    TDisplayEvent move = Event(TDisplayEventKind::MouseMove, 641, 521);
    move.Viewport = VeRect(0, 40, 1280, 1000);
    Send(move);
    TDisplayEvent left = Event(TDisplayEventKind::MouseMove, 0, 20);
    left.Viewport = VeRect(0, 40, 1280, 1000);
    Send(left);
    EXPECT_EQ(Dispatched(), (std::vector<std::string>{
                                "down 0 200 100 " + std::to_string(Bit(ssShift) | Bit(ssLeft)),
                                "down 0 200 100 " + std::to_string(Bit(ssShift) | Bit(ssLeft) | Bit(ssDouble)),
                                "up 0 200 100 " + std::to_string(Bit(ssRight)),
                                "move 320 240 0",
                                "move 0 -10 0",
                            }));
}

TEST_F(InputQueueTest, WheelEnterLeaveAndKeysAreTranslated)
{
    TDisplayEvent wheel = Event(TDisplayEventKind::Wheel, 30, 40);
    wheel.WheelNotches = -2;
    Send(wheel);
    Send(Event(TDisplayEventKind::Leave));
    Send(Event(TDisplayEventKind::Enter, 5, 6));
    TDisplayEvent key = Event(TDisplayEventKind::KeyDown);
    key.Key = 0xA3;  // right Ctrl
    key.Modifiers = dmCtrl;
    Send(key);
    key.Key = VK_SNAPSHOT;
    Send(key);
    key.Kind = TDisplayEventKind::KeyUp;
    key.Key = VK_RETURN;
    key.Modifiers = dmAlt;
    Send(key);
    EXPECT_EQ(Dispatched(), (std::vector<std::string>{
                                "wheel -240 30 40 0",
                                "leave",
                                "enter 5 6",
                                "keydown 17 " + std::to_string(Bit(ssCtrl)),
                                "keyup 13 " + std::to_string(Bit(ssAlt)),
                            }));
}

TEST_F(InputQueueTest, EventsAreAcceptedOnlyOnInteractiveScreensAndFlushedByBeginOperations)
{
    Form->SetState(gsWait);
    Send(Event(TDisplayEventKind::MouseMove, 1, 1));
    EXPECT_EQ(Form->QueuedInputCount(), 0);
    Form->SetState(gsScene);
    Send(Event(TDisplayEventKind::MouseMove, 2, 2));
    Form->SetState(gsIdle);
    EXPECT_TRUE(Dispatched().empty());  // kept until an interactive state
    EXPECT_EQ(Form->QueuedInputCount(), 1);
    Form->BeginPlay();
    EXPECT_EQ(Form->QueuedInputCount(), 0);

    // Everything queued within one frame is dispatched in that frame, before the frame procedure.
    Send(Event(TDisplayEventKind::MouseMove, 3, 3));
    Send(Event(TDisplayEventKind::MouseMove, 4, 4));
    std::vector<std::string> seen;
    Form->SetFrameProc([&](int) { seen = Root->Calls(); });
    Root->ClearCalls();
    Form->FramePump();
    EXPECT_EQ(seen, (std::vector<std::string>{"move 3 3 0", "move 4 4 0"}));
    Form->SetFrameProc(nullptr);
}

TEST_F(InputQueueTest, ClosingTheWindowHidesTheFormAndAsksToQuit)
{
    Send(Event(TDisplayEventKind::Close));
    EXPECT_TRUE(Form->Visible());  // nothing happens inside the display's own event handling
    RunPosted();
    EXPECT_EQ(Form->GetState(), gsClosing);
    EXPECT_FALSE(Form->Visible());
    RunPosted();
    EXPECT_TRUE(App->Terminated());
}
