#pragma once

#include <QString>

// A progress bar with a caption drawn over it. Unlike a plain progress bar it accepts a
// maximum of 0 and a value above the maximum, and keeps the value when the maximum changes.
class ProgressDisplay
{
public:
    virtual ~ProgressDisplay() = default;

    virtual int value() const = 0;
    virtual void setValue(int value) = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual void setCaption(const QString& caption) = 0;
};
