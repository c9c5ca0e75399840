#pragma once

#include <QByteArray>
#include <QString>

// Reproducible file contents, so a failure can be replayed.
QByteArray patternBytes(qint64 size, quint32 seed);
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Runs a program to its end; its exit code, or -1 if it crashed or hung.
// With errorOutput, stderr goes there and output gets stdout alone.
int runProgram(const QString& program, const QStringList& arguments, const QString& workingDir,
               int timeoutMs, QString* output = nullptr, QString* errorOutput = nullptr);
