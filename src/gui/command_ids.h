#pragma once
// The main window's commands by their historic numbers, with the status-bar
// prompt and tool tip each one shows ("prompt\ntip").

namespace marlow::gui {

enum CommandId : int {
    ID_OPERATION_DOWNLOAD = 32771,
    ID_SETTINGS = 32772,
    ID_ORIGINAL_POSITION = 32807,
    ID_DEBUG_MESSAGE_CLEAR = 32808,
    ID_MODEL_VERSION = 32811,
    ID_SAVE_FILE_INFORMATION = 32821,
    ID_SAVE_DEVICE_STATE = 32822,
    ID_SAVE_DEBUG_MESSAGE = 32823,
    ID_DEBUG_PORT_OPEN = 32803,
    ID_DEBUG_PORT_CLOSE = 32804,
    ID_VIVEZO_SET = 32826,
    ID_PHONE_DOWN_START = 32845,
    ID_PHONE_DOWN_CANCEL = 32846,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT = 57607,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    // Marlow's own, after the historic ones.
    ID_RUN_HISTORY = 32900,
};

// "prompt\ntip" for the command, empty for none.
const char* CommandStrings(CommandId id);

} // namespace marlow::gui
