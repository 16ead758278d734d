// A progress bar that paints itself: the filled part in the highlight colour,
// the rest in the window colour, and a centred caption or percentage drawn in
// the opposite colour over each part so that it stays readable across the edge.
//
// Position, range and step live in this object; the standard progress control
// underneath serves only as the window.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "framework/window.h"

namespace kelvane {

class PercentProgressCtrl : public fw::MappedWindow<PercentProgressCtrl> {
public:
    PercentProgressCtrl();
    ~PercentProgressCtrl() override;

    static std::span<const fw::MessageEntry<PercentProgressCtrl>> MessageMap();

    // Stores the range; positions are never clamped to it. No repaint.
    void SetRange(int lower, int upper);
    // Returns the previous position, or -1 (storing nothing) when the control
    // has no window. Repaints at once when the filled width changes.
    int SetPos(int position);
    // SetPos(position + step).
    int StepIt();
    // Returns the previous step. No repaint.
    int SetStep(int step);
    void SetShowText(bool show);

    int GetPos() const { return Pos; }
    void GetRange(int& lower, int& upper) const {
        lower = Lower;
        upper = Upper;
    }
    int GetStep() const { return Step; }
    // The caption; empty when the percentage is shown.
    const std::string& GetText() const { return Text; }
    bool GetShowText() const { return ShowText; }

private:
    LRESULT OnEraseBackground(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnPrintClient(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnSetText(WPARAM, LPARAM);
    LRESULT OnGetText(WPARAM, LPARAM);

    void Paint(HDC target) const;
    void Draw(HDC dc, const RECT& client) const;
    void InvalidateAll() const;

    int Pos = 0;
    int Step = 1;
    int Upper = 100;
    int Lower = 0;
    std::string Text;
    bool ShowText = true;
    // Filled width at the last repaint request; -1 = none yet (or unknown).
    int BarWidth = -1;
    COLORREF BarColour;
    COLORREF BackColour;
    COLORREF TextOnBackColour;
    COLORREF TextOnBarColour;
};

}  // namespace kelvane
