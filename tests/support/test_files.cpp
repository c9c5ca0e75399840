#include "test_files.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

QByteArray patternBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    qint64 i = 0;
    for (; i + 4 <= size; i += 4) {
        const quint32 v = gen.generate();
        memcpy(bytes.data() + i, &v, 4);
    }
    for (; i < size; ++i)
        bytes[i] = char(gen.generate());
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int runProgram(const QString& program, const QStringList& arguments, const QString& workingDir,
               int timeoutMs, QString* output, QString* errorOutput)
{
    QProcess p;
    p.setWorkingDirectory(workingDir);
    p.setProcessChannelMode(errorOutput ? QProcess::SeparateChannels : QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    if (!p.waitForStarted(5000))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        if (output)
            *output = QString::fromLocal8Bit(p.readAll()) + QStringLiteral(" [killed after timeout]");
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    if (errorOutput)
        *errorOutput = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
