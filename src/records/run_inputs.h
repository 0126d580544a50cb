#pragma once
// The files a run uses, as its record keeps them: path, size, SHA-256, the
// model/version trailer where the file carries one, and the list or
// package that named it. A digest the caller's own pass over the bytes has
// made (the PDA plan check reads every image whole) is taken as it is;
// anything else is read here, once.

#include "pda/download_plan_check.h"
#include "phone/phone_files.h"
#include "records/record.h"
#include "uartloader/loader_session.h"

#include <string>
#include <vector>

namespace marlow::records {

// A file that could not be read is still named, with no size or digest:
// the record says what the run was given.
InputFacts InputOf(std::string role, const std::string& path, std::string source = {});

// A PDA download's files as its plan check found them: a list, then its
// images in download order and its phone group's files; a lone image alone.
std::vector<InputFacts> InputsOfPlan(const std::string& file, const pda::DownloadPlan& plan);

// A phone download's four files, each by its role, and the package that
// named them (empty when they were given one by one).
std::vector<InputFacts> InputsOfPhoneFiles(const phone::PhoneFileSet& files,
                                           const std::string& package = {});

// The files a UART loader run about to start sends, in row order: the
// session's fields or its STM list's, as "Connect" chooses them now.
std::vector<InputFacts> InputsOfLoaderRun(const uartloader::UartLoaderSession& session);

} // namespace marlow::records
