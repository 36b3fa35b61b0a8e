#include "ProfileFixture.h"

#include "ProfileStore.h"

#include <QTest>

using namespace Qt::StringLiterals;

void ProfileFixture::storeComplete(SettingsStore& settings, int slot, const QString& title)
{
    ProfileStore store(settings);
    QVERIFY(store.create(slot, title));
    Profile profile;
    for (const ProfileFieldKey& field : profileFieldKeys)
        profile.value(field.field) = QString::fromUtf16(field.key) + u" value"_s;
    QVERIFY(store.save(slot, profile));
}
