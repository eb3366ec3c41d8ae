// The English texts. Wording, spelling included, is the product's own: pages and tests read it from
// here.
#include "message_table.h"

namespace kgsetup
{

namespace
{
const WCHAR kEnglishLicence[] = TEXT("END USER LICENSE AGREEMENT\r\n\r\n")
    TEXT("Please read this agreement carefully before installing the software. By installing or using ") TEXT(
        "the software you agree to be bound by its terms. If you do not agree, do not install it.\r\n\r\n")
        TEXT("1. Licence. Velmo Ranth Corporation grants you a non-exclusive, non-transferable licence to ")
            TEXT("install and use this printer driver software on computers that print to KORIGRAPH digital ")
                TEXT("duplicators.\r\n\r\n") TEXT("2. Restrictions. You may not modify, reverse engineer, "
                                                  "decompile or disassemble the software, ") TEXT(
                    "except as the law expressly allows. You may not rent, lease or sublicense it.\r\n\r\n")
                    TEXT("3. Ownership. The software and its copies remain the property of Velmo Ranth "
                         "Corporation and ") TEXT("its suppliers and are protected by copyright laws and "
                                                  "international treaties.\r\n\r\n") TEXT(
                        "4. No warranty. The software is provided \"as is\", without warranty of any kind, "
                        "either ") TEXT("expressed or implied, including warranties of merchantability and "
                                        "fitness for a particular ") TEXT("purpose.\r\n\r\n")
                        TEXT("5. Limitation of liability. In no event shall Velmo Ranth Corporation or its "
                             "suppliers be ") TEXT("liable for any damages, including loss of profits or "
                                                   "data, arising out of the use of or the ")
                            TEXT("inability to use the software, even if advised of the possibility of such "
                                 "damages.\r\n\r\n") TEXT("6. Termination. This licence ends automatically "
                                                          "if you fail to comply with its terms. You ")
                                TEXT("shall then destroy all copies of the software.\r\n\r\n")
                                    TEXT("7. Export. You shall comply with all export laws and regulations "
                                         "that apply to the ") TEXT("software.\r\n\r\n")
                                        TEXT("8. General. This agreement is the entire agreement between you "
                                             "and Velmo Ranth Corporation ")
                                            TEXT("about the software. If any term is held invalid, the other "
                                                 "terms remain in force.");
} // namespace

void LoadEnglishMessageTable(MessageTable& table)
{
    table.displayLanguageName = TEXT("English [en]");
    table.texts = {
        {0, kEnglishLicence},
        {1, TEXT("This setup program is not available in this version of Windows.")},
        {2, TEXT("In order to use this setup program, you have to install at least version 5 of Microsoft "
                 "Internet Explorer.")},
        {3, TEXT("Printer Driver files are not found.")},
        {4, TEXT("Velmo KORIGRAPH Printer Driver Setup")},
        {5, TEXT("Welcome to the Velmo KORIGRAPH Printer Driver setup program.\r\n\r\n\r\nThis program will "
                 "install the Velmo KORIGRAPH Printer Driver on this PC.")},
        {6, TEXT("Do not turn on the KORIGRAPH until installation is complete.")},
        {7,
         TEXT("It is strongly recommended that you exit all currently running programs before continuing.")},
        {8, TEXT("To continue with installation, you must accept the terms of the End User License "
                 "Agreement.\r\n\r\nIf you accept the terms, click [Next] to continue the installation.")},
        {9, TEXT("&EULA")},
        {10, TEXT("&Version...")},
        {11, TEXT("Display &Language \U0001F4AC")},
        {12, TEXT("Display &Language")},
        {13, TEXT("End User License Agreement")},
        {14, TEXT("Please read the following agreement carefully. Use the scroll bar or press the PAGE DOWN "
                  "key to view the rest of the text.")},
        {15, TEXT("Version %d.%02d")},
        {16, TEXT("Build x64")},
        {17, TEXT("Build x86")},
        {18, TEXT("Welcome")},
        {19, TEXT("The specified printer driver is already installed. Select an action to apply.")},
        {20, TEXT("&Update")},
        {21, TEXT("Updates the printer driver insatlled on the computer.")},
        {22, TEXT("&Add / Repair")},
        {23, TEXT("Add a digital duplicator using the printer driver installed on this computer.")},
        {24, TEXT("&Remove")},
        {25, TEXT("Remove the printer driver installed on this computer. By removing all the printers, the "
                  "printer driver is uninstalled.")},
        {26, TEXT("Setup method")},
        {27, TEXT("Select the install method of the printer driver.")},
        {28, TEXT("Install &Language \U0001F310")},
        {29, TEXT("Install &Language")},
        {30, TEXT("German")},
        {31, TEXT("English (AB Paper)")},
        {32, TEXT("English (US Paper)")},
        {33, TEXT("Spanish")},
        {34, TEXT("French")},
        {35, TEXT("Italian")},
        {36, TEXT("Japanese")},
        {37, TEXT("Korean")},
        {38, TEXT("Russian")},
        {39, TEXT("English (China)")},
        {40, TEXT("Select from printers connected to this PC.")},
        {41, TEXT("Sea&rch again")},
        {42, TEXT("Name")},
        {43, TEXT("Location")},
        {44, TEXT("Detail")},
        {45, TEXT("Connect the printer later. (USB Cable / Parallel Printer Cable)")},
        {46, TEXT("USB Cable")},
        {47, TEXT("Connect the computer and the Digital Duplicator with an USB cable.\r\nDo not turn on the "
                  "Digital Duplicator until the installation is complete.")},
        {48, TEXT("Print to File")},
        {49,
         TEXT("Creates a data file in the format for KORIGRAPHs. By saving the file in the USB flash drive "
              "etc. and connecting it to a KORIGRAPH, the file can be printed on the KORIGRAPH.")},
        {50, TEXT("Parallel Printer Cable")},
        {51, TEXT("LAN Cable")},
        {52, TEXT("Custom install")},
        {53, TEXT("Select the digital duplicator model and the printer port manually to add the printer.")},
        {54, TEXT("Model")},
        {55, TEXT("Select a model of the Digital Duplicator to add.")},
        {56, TEXT("Printer Port")},
        {57, TEXT("Select a printer port.")},
        {58, TEXT("IP Address")},
        {59, TEXT("Add Standard TCP/IP Port")},
        {60, TEXT("Delete Port")},
        {61, TEXT("KORIGRAPH_")},
        {62, TEXT("Printer Name")},
        {63, TEXT("Enter the Printer Name to be Displayed on this PC. (Max. 31 characters)")},
        {64, TEXT("&Default name")},
        {65, TEXT("This name cannot set up.")},
        {66, TEXT("%s' cannot be changed.")},
        {67, TEXT("Ready to Install")},
        {68, TEXT("Setup is ready to begin the installation.")},
        {69, TEXT("If you want to confirm or change the installation settings, click Back.\r\nTo exit the "
                  "program, click Cancel.")},
        {70, TEXT("Connection")},
        {71, TEXT("Printer Name")},
        {72, TEXT("KORIGRAPH Series")},
        {73, TEXT("Printer Port")},
        {74, TEXT("Plug and Play")},
        {75, TEXT("NUL:")},
        {76, TEXT("&Install")},
        {77, TEXT("Confirm")},
        {78,
         TEXT("The conventional V3 printer driver is installed on this PC. Uninstall the V3 printer driver "
              "before instaling the V4 printer driver?")},
        {79, TEXT("Following printers will be deleted.")},
        {80, TEXT("Confirm")},
        {81, TEXT("Stop the setup?")},
        {82, TEXT("Update")},
        {83, TEXT("Updating the following printers.")},
        {84, TEXT("&Update")},
        {85, TEXT("Remove / Uninstall")},
        {86, TEXT("Removing the following printers.")},
        {87, TEXT("&Remove")},
        {88, TEXT("&Check All")},
        {89, TEXT("&Uncheck All")},
        {90, TEXT("Installing printer driver.")},
        {91, TEXT("Updating printer driver.")},
        {92, TEXT("Uninstalling printer driver.")},
        {93, TEXT("Status:")},
        {94, TEXT("Starting the setup of the printer driver.")},
        {95, TEXT("Searching for installed printer drivers.")},
        {96, TEXT("Starting the Print Spooler service.")},
        {97, TEXT("Restarting the Print Spooler service.")},
        {98, TEXT("Stopping the Print Spooler service.")},
        {99, TEXT("Copying printer driver.")},
        {100, TEXT("Registering printer driver.")},
        {101, TEXT("Adding printer.")},
        {102, TEXT("Adding \"NUL:\" port.")},
        {103, TEXT("Copying monitor.")},
        {104, TEXT("Registering monitor.")},
        {105, TEXT("Deleting monitor.")},
        {106, TEXT("Deleting temporary files.")},
        {107, TEXT("Removing printer.")},
        {108, TEXT("Removing driver.")},
        {109, TEXT("Uninstalling driver package.")},
        {110, TEXT("Starting removing of printer driver.")},
        {111, TEXT("Removing job.")},
        {112, TEXT("Checking remove.")},
        {113, TEXT("Starting updating of printer driver.")},
        {114, TEXT("Updating driver package.")},
        {115, TEXT("Updating printer driver.")},
        {116, TEXT("Checking update.")},
        {117, TEXT("Updating monitor.")},
        {118, TEXT("Copying Device Metadata.")},
        {119, TEXT("Deleting Device Metadata.")},
        {120, TEXT("Finish")},
        {121, TEXT("All processing has been completed.")},
        {122, TEXT("Error!")},
        {123, TEXT("Failed to set up the printer driver.")},
        {124, TEXT("The program has successfully installed the printer driver.\r\nClick Finish to exit the "
                   "program. Then connect the computer to the Digital Duplicator and turn on the Digital "
                   "Duplicator.")},
        {125, TEXT("The program has successfully installed the printer driver.\r\nClick Finish to exit the "
                   "program.")},
        {126, TEXT("The program has successfully updated the printer driver.\r\nClick Finish to exit the "
                   "program.")},
        {127, TEXT("The program has successfully uninstalled the printer driver.\r\nClick Finish to exit the "
                   "program.")},
        {128,
         TEXT("The Print Spooler service is not running.\r\n\r\nRestart the computer and start the setup "
              "again from the beginning.")},
        {129, TEXT("Failed to copy the printer driver.\r\n\r\nPlease delete all printer drivers for Digital "
                   "Duplicators in \"Control Panel\".\r\nThen restart the computer and start the setup again "
                   "from the beginning.")},
        {130, TEXT("Failed to register the printer driver.\r\n\r\nRestart the computer and start the setup "
                   "again from the beginning.")},
        {131,
         TEXT("Failed to add the printer.\r\n\r\nRestart the computer and start the setup again from the "
              "beginning.")},
        {132, TEXT("Failed to copy the monitor.")},
        {133, TEXT("Failed to load the printer information file.\r\nThe file or folder might be "
                   "corrupted.\r\n\r\nInstallation was aborted.")},
        {134, TEXT("Failed to remove the job.")},
        {135, TEXT("Failed to remove the printer.\r\n\r\nRestart the computer and start the setup again from "
                   "the beginning.")},
        {136, TEXT("Failed to remove the driver.\r\n\r\nRestart the computer and start the setup again from "
                   "the beginning.")},
        {137, TEXT("Failed to remove the driver package.")},
        {138, TEXT("Failed to copy the meta data.\r\n\r\nRestart the computer and start the setup again from "
                   "the beginning.")},
        {139, TEXT("Failed to remove the meta data.")},
        {140, TEXT("An error occurred during printer driver installation.\r\n\r\nInstallation was aborted.")},
        {141, TEXT("The setup of the printer driver is canceled.")},
        {142, TEXT("Caution")},
        {143, TEXT("The following applications should be closed before continuing the uninstall. If you "
                   "proceed, without exiting these applications, they may behave incorrectly.")},
        {144, TEXT("&End all")},
        {145, TEXT("&Retry")},
        {146, TEXT("&Ignore")},
        {147, TEXT("&Cancel")},
    };
}

} // namespace kgsetup
