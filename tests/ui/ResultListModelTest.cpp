// The result list shows a bounded start of a long cell, never cutting a
// double-byte character; short cells whole.
#include "ui/TResultListModel.h"

#include "QtTestApp.h"

#include <gtest/gtest.h>

TEST(ResultListModel, LongCellsShowABoundedPrefix)
{
    QtTestApp();
    TResultRows rows;
    const std::string so = "\x83\x5C"; // ソ
    std::string longRecipients = "x";   // puts every ソ on an odd byte
    while (longRecipients.size() < (8u << 20))
        longRecipients += so;
    rows.InsertTop(TResultRow{"C1", std::string(1023, 's') + so, longRecipients, 0, false, "j", ""});
    rows.InsertTop(TResultRow{"C2", "short", "TO:a@x.jp", 3, false, "j", ""});
    TResultListModel model(rows);

    const QString shortCell = model.data(model.index(0, 2), Qt::DisplayRole).toString();
    EXPECT_EQ(shortCell, QString("TO:a@x.jp"));
    const QString recipients = model.data(model.index(1, 2), Qt::DisplayRole).toString();
    // 1 + 511 characters of two bytes fit in 1024 bytes, then the mark.
    EXPECT_EQ(recipients.size(), 1 + 511 + 1);
    EXPECT_TRUE(recipients.endsWith(QString::fromUtf8("…")));
    EXPECT_EQ(recipients.mid(1, 1), QString::fromUtf8("ソ"));
    // A character that would cross the bound is left out whole.
    const QString subject = model.data(model.index(1, 1), Qt::DisplayRole).toString();
    EXPECT_EQ(subject, QString(1023, 's') + QString::fromUtf8("…"));
}
