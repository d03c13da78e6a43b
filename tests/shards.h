#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QStringList>
#include <QTest>

// A long test program runs in parts at once: with TRENNIX_SHARD=i/n in the environment and no
// test functions named on the command line, the program runs every n-th test function from the
// i-th (counting from 0). ctest declares one test per part (trennix_add_test's SHARDS).
inline QStringList ShardArguments(const QMetaObject& meta, int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QByteArray shard = qgetenv("TRENNIX_SHARD");
    const qsizetype slash = shard.indexOf('/');
    if (slash < 0)
        return args;
    for (const QString& arg : std::as_const(args).mid(1))
        if (!arg.startsWith(u'-'))
            return args; // functions were named: run those
    const int part = shard.left(slash).toInt();
    const int parts = shard.mid(slash + 1).toInt();
    if (parts < 1 || part < 0 || part >= parts)
        qFatal("TRENNIX_SHARD=%s is not i/n with 0 <= i < n", shard.constData());
    static const QByteArrayList notTests = {"initTestCase", "cleanupTestCase", "init", "cleanup"};
    int index = 0;
    for (int m = meta.methodOffset(); m < meta.methodCount(); ++m) {
        const QMetaMethod method = meta.method(m);
        const QByteArray name = method.name();
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
            method.parameterCount() != 0 || notTests.contains(name) || name.endsWith("_data"))
            continue;
        if (index++ % parts == part)
            args << QString::fromLatin1(name);
    }
    return args;
}

// QTEST_APPLESS_MAIN and QTEST_GUILESS_MAIN for a program that may run in parts.
#define TRENNIX_SHARDED_APPLESS_MAIN(TestObject)                                                   \
    int main(int argc, char** argv) {                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, ShardArguments(test.staticMetaObject, argc, argv));             \
    }
#define TRENNIX_SHARDED_GUILESS_MAIN(TestObject)                                                   \
    int main(int argc, char** argv) {                                                              \
        QCoreApplication app(argc, argv);                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, ShardArguments(test.staticMetaObject, argc, argv));             \
    }
