#include "gui/command_ids.h"

namespace marlow::gui {

const char* CommandStrings(CommandId id) {
    switch (id) {
    case ID_OPERATION_DOWNLOAD:
        return "Download the Image File\nDownload";
    case ID_SETTINGS:
        return "Choose the image files, the download target and the debug port\nImage Open & Port "
               "Setting";
    case ID_ORIGINAL_POSITION:
        return "Put the message windows back in their original places\nOriginal Position";
    case ID_DEBUG_MESSAGE_CLEAR:
        return "Clear the Debug Message Window\nDebug Message Clear";
    case ID_RUN_HISTORY:
        return "Show the records of this station's runs\nRun History";
    case ID_MODEL_VERSION:
        return "Insert or Verify the Model & Version for the Image File\nModel & Version Setting";
    case ID_SAVE_FILE_INFORMATION:
        return "Save the File Information Window as a text file\nFile Information Window";
    case ID_SAVE_DEVICE_STATE:
        return "Save the Device State Window as a text file\nDevice State Window";
    case ID_SAVE_DEBUG_MESSAGE:
        return "Save the Debug Message Window as a text file\nDebug Message Window";
    case ID_DEBUG_PORT_OPEN:
        return "Open the Debug Port\nDebug Port Open";
    case ID_DEBUG_PORT_CLOSE:
        return "Close the Debug Port\nDebug Port Close";
    case ID_VIVEZO_SET:
        return "Open VIVezo Set\nVIVezo Set";
    case ID_PHONE_DOWN_START:
        return "Start the phone download\nPhone Download Start";
    case ID_PHONE_DOWN_CANCEL:
        return "Cancel the phone download\nPhone Download Cancel";
    case ID_FILE_SAVE_AS:
        return "Save the active window under a new name\nSave As";
    case ID_FILE_PRINT:
        return "Print the active window\nPrint";
    case ID_EDIT_COPY:
        return "Copy the selection and put it on the Clipboard\nCopy";
    case ID_EDIT_CUT:
        return "The message windows are read-only: nothing can be cut\nCut";
    case ID_EDIT_PASTE:
        return "The message windows are read-only: nothing can be pasted\nPaste";
    case ID_EDIT_UNDO:
        return "The message windows are read-only: nothing to undo\nUndo";
    case ID_NEXT_PANE:
        return "Switch to the next message window\nNext Window";
    case ID_PREV_PANE:
        return "Switch back to the previous message window\nPrevious Window";
    case ID_APP_ABOUT:
        return "Display program information, version number and copyright\nAbout";
    case ID_APP_EXIT:
        return "Quit the application\nExit";
    }
    return "";
}

} // namespace marlow::gui
