#include "ProfileEditor.h"

#include "ChangeSignal.h"
#include "IndexNowKey.h"
#include "PathPatterns.h"
#include "SettingsKeys.h"
#include "WebAddress.h"

using namespace Qt::StringLiterals;

std::optional<Profile> ProfileEditor::pick(const QString& title)
{
    const std::optional<int> slot = m_store.findByTitle(title);
    if (!slot)
        return std::nullopt;
    m_currentSlot = *slot;
    return m_store.read(*slot);
}

QString ProfileEditor::refusalOf(const QString& title) const
{
    if (title.isEmpty())
        return u"A profile needs a title."_s;
    if (title == SettingsKeys::freeSlotTitle)
        return u"The title \"%1\" marks a free slot; choose another."_s.arg(title);
    if (m_store.findByTitle(title))
        return u"A profile titled \"%1\" already exists."_s.arg(title);
    if (!m_store.findFreeSlot())
        return u"All %1 profile slots are taken; delete a profile first."_s.arg(ProfileStore::lastSlot);
    return QString();
}

ProfileEditor::Result ProfileEditor::create(const QString& title)
{
    if (!refusalOf(title).isEmpty())
        return Result::Refused;
    const std::optional<int> slot = m_store.findFreeSlot();
    if (!m_store.create(*slot, title))
        return Result::StoreUnwritable;
    m_currentSlot = *slot;
    return Result::Done;
}

ProfileEditor::Result ProfileEditor::checkCurrent(const QString& chooserText) const
{
    if (chooserText.isEmpty())
        return Result::Refused;
    return m_store.isOccupied(m_currentSlot) ? Result::Done : Result::NothingStored;
}

ProfileEditor::Result ProfileEditor::save(const QString& chooserText, const Profile& fields)
{
    const Result allowed = checkCurrent(chooserText);
    if (allowed != Result::Done)
        return allowed;
    if (!fields.indexNowKey.isEmpty() && !IndexNowKey::isValid(fields.indexNowKey))
        return Result::InvalidKey;
    if (!fields.feed.isEmpty() && !WebAddress::isValid(fields.feed))
        return Result::InvalidFeed;
    if (!ChangeSignals::fromName(fields.changeSignal))
        return Result::InvalidChangeSignal;
    if (!PathPatterns::parse(fields.include, fields.exclude))
        return Result::InvalidPattern;
    return m_store.save(m_currentSlot, fields) ? Result::Done : Result::StoreUnwritable;
}

ProfileEditor::Result ProfileEditor::remove(const QString& chooserText)
{
    const Result allowed = checkCurrent(chooserText);
    if (allowed != Result::Done)
        return allowed;
    return m_store.remove(m_currentSlot) ? Result::Done : Result::StoreUnwritable;
}

QString ProfileEditor::problemOf(Result result, const Profile& profile)
{
    switch (result) {
    case Result::InvalidKey:
        return u"The IndexNow key must be 8 to 128 letters (a-z, A-Z), digits or hyphens. Use Generate for a "
               u"new one."_s;
    case Result::InvalidFeed:
        return u"The feed address must be a web address beginning with http:// or https://."_s;
    case Result::InvalidChangeSignal:
        return u"The change signal must be one of %1."_s.arg(ChangeSignals::names.join(u", "_s));
    case Result::InvalidPattern:
        return PathPatterns::problemOf(profile.include + u' ' + profile.exclude);
    default:
        return QString();
    }
}
