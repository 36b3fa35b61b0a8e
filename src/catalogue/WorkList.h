#pragma once

#include <QString>

// The selected sites of a run, as the run sees them: entries by index from 0, duplicates kept,
// and the caption above the list that shows how many are left.
class WorkList
{
public:
    virtual ~WorkList() = default;

    virtual int count() const = 0;
    virtual QString entry(int index) const = 0;
    virtual void removeEntry(int index) = 0;
    virtual void clear() = 0;
    virtual void setCountCaption(const QString& caption) = 0;
};
