// SPDX-License-Identifier: MIT
#include "uniquefd.h"

#include <QTest>

#include <fcntl.h>

namespace {
bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}
int openNull()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}
} // namespace

class TestUniqueFd final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A descriptor replaced by assignment would otherwise stay open as long
    // as the moved-from handle lives, and a copy would hold its file busy.
    void assignmentClosesTheDescriptorItReplaces()
    {
        UniqueFd target(openNull());
        UniqueFd source(openNull());
        const int replaced = target.get();
        const int moved = source.get();
        target = std::move(source);
        QVERIFY(!isOpen(replaced));
        QCOMPARE(target.get(), moved);
        QVERIFY(isOpen(moved));
        QVERIFY(!source.valid());
    }

    void closingAnEmptyHandleReportsNoError()
    {
        UniqueFd empty;
        QCOMPARE(empty.close(), std::error_code());
        UniqueFd open(openNull());
        QCOMPARE(open.close(), std::error_code());
        QCOMPARE(open.close(), std::error_code());
    }
};

QTEST_GUILESS_MAIN(TestUniqueFd)
#include "tst_uniquefd.moc"
