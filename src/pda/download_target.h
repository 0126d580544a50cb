#pragma once
// Where a PDA download puts the images: into RAM, where the handset runs
// them, or into FLASH, which the handset writes after each image. The one
// form the program keeps it in; the settings file's "RegDownTo" text and
// the CLI's --target names are turned into it where they are read.

namespace marlow::pda {

enum class DownloadTarget { Ram, Flash };

} // namespace marlow::pda
