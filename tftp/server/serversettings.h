#pragma once

#include "tftp/serverconfig.h"

#include <QStringList>

// Reads the server's settings file, then the command line over it.
// Returns false with error set (and usage help in it) if anything is wrong.
// Help and version requests succeed with exitText set.
struct ServerSettings {
    tarvo::tftp::ServerConfig config;
    bool verbose = false;
    // --exit-with-parent: end when the program that started us ends.
    bool exitWithParent = false;
    QString settingsFile;
    // --help or --version: this text goes to stdout and the program ends.
    QString exitText;
};

bool loadServerSettings(const QStringList& arguments, ServerSettings* settings, QString* error);
