#include "ProfileCategories.h"

using namespace Qt::StringLiterals;

const QStringList& ProfileCategories::siteTypes()
{
    static const QStringList types = {u"General"_s, u"Childrens"_s, u"Adult"_s};
    return types;
}

const QStringList& ProfileCategories::ffaCategories()
{
    static const QStringList categories = {u"Business"_s,      u"Computers"_s,  u"Education"_s,
                                           u"Entertainment"_s, u"Government"_s, u"Health"_s,
                                           u"Miscellaneous"_s, u"Personal"_s,   u"Recreation"_s};
    return categories;
}

// Some entries end in a blank or a backslash; they are kept exactly so.
const QStringList& ProfileCategories::majorCategories()
{
    static const QStringList categories = {
        u"Arts & Humanities\\Literature "_s,
        u"Arts & Humanities\\Photography"_s,
        u"Business & Economy\\Companies\\"_s,
        u"Business & Economy\\Finance"_s,
        u"Business & Economy\\Jobs"_s,
        u"Computers & Internet\\Internet"_s,
        u"Computers & Internet\\WWW"_s,
        u"Computers & Internet\\Software"_s,
        u"Computers & Internet\\Games"_s,
        u"Education\\College and University"_s,
        u"Education\\College and University\\K-12"_s,
        u"Entertainment\\Cool Links"_s,
        u"Entertainment\\Movies"_s,
        u"Entertainment\\Humor"_s,
        u"Entertainment\\Music"_s,
        u"Government\\Military"_s,
        u"Government\\Politics"_s,
        u"Government\\Law"_s,
        u"Government\\Taxes"_s,
        u"Health\\Medicine"_s,
        u"Health\\Diseases"_s,
        u"Health\\Drugs"_s,
        u"Health\\Fitness"_s,
        u"News & Media\\Full Coverage"_s,
        u"News & Media\\Newspapers"_s,
        u"News & Media\\TV"_s,
        u"News & Media\\Magazines"_s,
        u"Recreation & Sports\\Sports"_s,
        u"Recreation & Sports\\Travel"_s,
        u"Recreation & Sports\\Autos"_s,
        u"Recreation & Sports\\Outdoors"_s,
        u"Reference\\Libraries"_s,
        u"Reference\\Dictionaries"_s,
        u"Reference\\Quotations"_s,
        u"Regional\\Countries"_s,
        u"Regional\\Regions"_s,
        u"Regional\\US "_s,
        u"Regional\\States"_s,
        u"Science\\Biology"_s,
        u"Science\\Astronomy"_s,
        u"Science\\Engineering"_s,
        u"Social Science/Archaeology"_s,
        u"Social Science/Economics "_s,
        u"Social Science/Languages"_s,
        u"Society & Culture/People"_s,
        u"Society & Culture/Environment"_s,
        u"Society & Culture/Religion "_s,
    };
    return categories;
}

QString ProfileCategories::initialSiteType()
{
    return u"General"_s;
}

QString ProfileCategories::initialFfaCategory()
{
    return u"Miscellaneous"_s;
}

QString ProfileCategories::initialMajorCategory()
{
    return u"Computers & Internet\\WWW"_s;
}
