#pragma once
// The library headers nearly every test file includes, compiled once for all test programs
// (CMake's precompiled header of km71_test_common, reused by each test_<folder>). Only
// headers from outside this project belong here: a change to one of ours must rebuild only
// the files that include it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>
