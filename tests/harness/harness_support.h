// Running korvel-sim as a program, the way a person or a build script does: a bus file and a
// script in a scratch folder next to the firmware files they name, then the journal it wrote
// read back event by event.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "harness_files.h"

namespace korvel::harness {


/// One run of korvel-sim.
struct SimRun {
    int exit_code = -1;
    bool finished = false;
    QString output;  ///< what it wrote to stdout
    QString errors;  ///< what it wrote to stderr
    bool journal_written = false;
    std::vector<QJsonObject> events;
    /// The journal's lines as written.
    std::vector<QByteArray> lines;

    /// Indexes of the events of a kind, in order.
    std::vector<std::size_t> indexes(const char* kind) const;
    std::vector<QJsonObject> of(const char* kind) const;
    /// Index of the "step" event of a step; events.size() when there is none.
    std::size_t step_at(int step) const;
    /// "scsi" events whose CDB starts with these hex digits, with their indexes.
    std::vector<std::pair<std::size_t, QJsonObject>> scsi(const char* cdb_prefix) const;
    /// "message" events with their indexes.
    std::vector<std::pair<std::size_t, QJsonObject>> messages() const;
};

class HarnessTest : public ::testing::Test {
protected:
    void SetUp() override;

    /// Runs korvel-sim with a bus and a script of tests/harness/cases (copied into the scratch
    /// folder, where the firmware files are).
    SimRun run_case(const char* bus, const char* script);
    /// Runs korvel-sim with these arguments in the scratch folder; with shell_setup, through
    /// /bin/sh, which runs those commands first ("ulimit -f 2"); with other_program, that
    /// program and its arguments instead, with typed as its input.
    SimRun run_program(const QStringList& arguments, const QString& shell_setup = {},
                       const std::pair<QString, QStringList>& other_program = {},
                       const QByteArray& typed = {});

    /// Runs korvel-sim with these arguments on a terminal of its own (a pseudo-terminal made by
    /// script(1)), where typed is what the keyboard gives; all it writes is in output.
    SimRun run_on_terminal(const QStringList& arguments, const QByteArray& typed);
    /// A file of the cases folder.
    static QString case_file(const QString& name);
    /// Bytes of a file in the scratch folder.
    QByteArray scratch_bytes(const char* name) const;
    QString scratch_path(const char* name) const;

    QTemporaryDir scratch_;
};

/// The bytes of a hex text.
std::vector<std::uint8_t> from_hex(const QString& hex);
/// The lower-case hex sha256 of bytes.
QString sha256_of(const QByteArray& bytes);
/// The control state of a "controls" event or of a message's "controls" member, in the
/// journal's key order, e.g. "update=1 backup=1 exit=1 host_group=1 target_group=1 fae_label=0".
std::string control_state(const QJsonObject& state);
inline constexpr const char* ALL_ENABLED =
    "update=1 backup=1 exit=1 host_group=1 target_group=1 fae_label=0";
inline constexpr const char* ALL_LOCKED =
    "update=0 backup=0 exit=0 host_group=0 target_group=0 fae_label=0";

}  // namespace korvel::harness
