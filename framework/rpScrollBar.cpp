// The scroll bar as an integer input, and the parent's routing of scroll messages to it.
#include "rpScrollBar.h"

#include <cstdio>

namespace {
// Page step for a range span: small spans get fixed steps, larger ones a tenth.
int derivedPageStep(long long span)
{
    if (span <= 9)
        return 2;
    if (span <= 39)
        return 5;
    return static_cast<int>(span / 10);
}

int clampInto(long long value, int low, int high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return static_cast<int>(value);
}
}  // namespace

rpScrollBar::rpScrollBar(rpWin* parentWin, int controlIdValue, long styleBits)
    : rpControl(parentWin, "Scrollbar", controlIdValue, static_cast<int>(styleBits)),
      barType(SB_CTL), position(0), minimum(0), maximum(0), pageStep(0)
{
    rpScrollBar::joinPartner();
}

rpScrollBar::~rpScrollBar() = default;

bool rpScrollBar::create()
{
    bool created = rpWin::create(nullptr);
    joinPartner();
    return created;
}

bool rpScrollBar::setSel(int pos, bool redraw)
{
    if (pos < minimum || pos > maximum)
        return false;
    position = pos;
    SetScrollPos(hwnd, barType, position, redraw ? TRUE : FALSE);
    if (partner) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", position);
        partner->setText(text);
    }
    return true;
}

bool rpScrollBar::setRangeAll(int min, int max, int pos, int page, unsigned mask, bool redraw)
{
    if (mask & SIF_RANGE) {
        if (min > max)
            return false;
        minimum = min;
        maximum = max;
        pageStep = derivedPageStep(static_cast<long long>(max) - min);
    }
    if (mask & SIF_POS)
        position = pos;
    position = clampInto(position, minimum, maximum);

    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.nMin = minimum;
    info.nMax = maximum;
    info.nPage = static_cast<UINT>(page);
    info.nPos = position;
    SetScrollInfo(hwnd, barType, &info, redraw ? TRUE : FALSE);
    setSel(position, true);
    return true;
}

bool rpScrollBar::scroll(int code, int thumbPos)
{
    // Computed wide so that a step beyond the int range still clamps instead of wrapping.
    long long target = position;
    switch (code) {
    case SB_LINEUP:
        target -= 1;
        break;
    case SB_LINEDOWN:
        target += 1;
        break;
    case SB_PAGEUP:
        target -= pageStep;
        break;
    case SB_PAGEDOWN:
        target += pageStep;
        break;
    case SB_THUMBTRACK:
        target = thumbPos;
        break;
    default:  // SB_THUMBPOSITION ends a drag that SB_THUMBTRACK already followed
        break;
    }
    const int next = clampInto(target, minimum, maximum);
    if (next != position)
        setSel(next, true);
    return true;
}

void rpScrollBar::linkObject(int* value, int* range)
{
    object = value;
    objectSize = 0;
    if (!value)
        return;
    if (range)
        setRangeAll(range[0], range[1], -1, -1, SIF_RANGE, true);
    setSel(*value, true);
    if (range)
        pageStep = range[2];
}

void rpScrollBar::linkMapObject(rpCtrlMap* entry)
{
    linkObject(static_cast<int*>(entry->object), static_cast<int*>(entry->extra));
}

void rpScrollBar::joinPartner()
{
    // The partner is looked up first so that it shows the default position too.
    rpControl::joinPartner();
    setRangeAll(0, 100, -1, -1, SIF_RANGE, true);
    setSel(50, true);
    pageStep = 10;
}

void rpScrollBar::updateObject()
{
    if (object)
        *static_cast<int*>(object) = position;
}

void rpScrollBar::updateScreen()
{
    if (object)
        setSel(*static_cast<int*>(object), true);
}

bool rpScrollBar::isModified()
{
    return object && *static_cast<int*>(object) != position;
}

bool rpScrollBar::scrollRequest(int code, int pos)
{
    return scroll(code, pos);
}
