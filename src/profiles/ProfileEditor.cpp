#include "ProfileEditor.h"

#include "IndexNowKey.h"
#include "SettingsKeys.h"
#include "WebAddress.h"

std::optional<Profile> ProfileEditor::pick(const QString& title)
{
    const std::optional<int> slot = m_store.findByTitle(title);
    if (!slot)
        return std::nullopt;
    m_currentSlot = *slot;
    return m_store.read(*slot);
}

ProfileEditor::Result ProfileEditor::create(const QString& title)
{
    if (title.isEmpty() || title == SettingsKeys::freeSlotTitle || m_store.findByTitle(title))
        return Result::Refused;
    const std::optional<int> slot = m_store.findFreeSlot();
    if (!slot)
        return Result::Refused;
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
    return m_store.save(m_currentSlot, fields) ? Result::Done : Result::StoreUnwritable;
}

ProfileEditor::Result ProfileEditor::remove(const QString& chooserText)
{
    const Result allowed = checkCurrent(chooserText);
    if (allowed != Result::Done)
        return allowed;
    return m_store.remove(m_currentSlot) ? Result::Done : Result::StoreUnwritable;
}
