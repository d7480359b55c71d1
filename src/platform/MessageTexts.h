#pragma once

#include <string>

// Every message the program shows through the Notifier: the titles and texts of its message
// boxes (on the command line, the blocks on standard error) and the reasons that name what
// is wrong with a file. Users, scripts and tests see these texts word for word, so they are
// kept here, apart from the code that shows them: renaming a class never changes a message,
// even one that begins with an old class name ("Cmidfil::rdmidi").
// A message whose text is put together from values has a function that builds it.
namespace korvelt::msg {

// ---- Titles shared by many messages -------------------------------------------------------

// A reader's or writer's own failure.
inline constexpr const char* kErrorTitle = "Error!";

// ---- MIDI files --------------------------------------------------------------------------

inline constexpr const char* kMidiReadFailed = "Cmidfil::rdmidi\nError while reading midi file";
inline constexpr const char* kMidiBadData = "Ctrack::rdmidi\nBad data in midi file";
inline constexpr const char* kMidiBadVnum = "Ctrack::rdmidi\nError while reading Vnum";
inline constexpr const char* kMidiNoRunningStatus = "Ctrack::rdmidi\nMissing running status";
inline constexpr const char* kMidiBadSysex =
    "Csysexev::rdmidi\nError while reading system exclusive";
inline constexpr const char* kMidiBadMeta = "Cmetaev::rdmidi\nError while reading meta event";
// The reason of a file that is not a MIDI file at all.
inline constexpr const char* kNotStandardMidi = "not a Standard MIDI file";

// ---- Sound banks -------------------------------------------------------------------------

inline constexpr const char* kSoundFontOpenFailed =
    "Csf2file::rdfile\nFatal error while reading Sound Font file\nCould not open Sound Font file";
inline constexpr const char* kSoundFontInvalid =
    "Csf2file::rdfile\nFatal error while reading Sound Font file\nInvalid Sound Font file format";
inline constexpr const char* kCompressedOpenFailed =
    "Ccompsf::rdfile\nFatal error while reading SoundFont file\nCould not open SoundFont file";
inline constexpr const char* kCompressedTooRecent =
    "Ccompsf::rdfile\nThis SoundFont can only be processed\nby a more recent version of the "
    "program";
inline constexpr const char* kCompressedInvalid =
    "Ccompsf::rdfile\nFatal error while reading SoundFont file\nInvalid SoundFont file format";
// The reasons of a file that is not a bank of the reader's kind.
inline constexpr const char* kNotSoundFont = "not a SoundFont 2 bank";
inline constexpr const char* kNotCompressedBank = "not a compressed bank (.csf)";

// ---- MIDI and bank data met while rendering (shown when MIDI errors are shown) -------------

inline constexpr const char* kSampleLoadFailedTitle = "Error loading sample";
inline std::string sampleLoadFailedText(const std::string& sampleName) {
    return "Sample:" + sampleName;
}
// A codec stream of another codec than Ogg Vorbis (SoundFont 3 banks).
inline std::string sampleCodecRefusedText(const std::string& sampleName, const char* codec) {
    return "Sample:" + sampleName + "\nIts data is compressed as " + codec +
           "; only Ogg Vorbis samples can be played.";
}

inline constexpr const char* kInvalidGeneratorTitle = "Invalid Sound Font generator";
inline std::string invalidGeneratorText(unsigned number, unsigned value) {
    return "Generator number: " + std::to_string(number) +
           "; Generator value: " + std::to_string(value);
}

inline constexpr const char* kInvalidControllerTitle = "Invalid MIDI channel Control change";
inline std::string invalidControllerText(int controller, int value) {
    return "Controller number: " + std::to_string(controller) +
           "; Controller value: " + std::to_string(value);
}

inline constexpr const char* kInvalidPresetTitle = "Invalid MIDI preset";
inline std::string missingPresetText(int bank, int program) {
    return "Bank number " + std::to_string(bank) + " doesn't have preset number " +
           std::to_string(program);
}
inline std::string presetTooLargeText(int bank, int program) {
    return "Bank number " + std::to_string(bank) + ", preset number " + std::to_string(program) +
           " has too many zones";
}

// A render that ran out of memory (a damaged bank asking for absurd numbers of voices).
inline constexpr const char* kRenderOutOfMemory = "RenderJob::run\nNot enough memory to render";

// ---- WAVE files ----------------------------------------------------------------------------

inline constexpr const char* kWaveCreateFailed =
    "Cwavfil::openwr\nError while writing Korvelt.wav file";
inline constexpr const char* kWaveCloseFailed =
    "Cwavfil::close\nError while writing Korvelt.wav file";
inline constexpr const char* kWaveOpenFailed =
    "Cwavfil::openrd\nError while reading Korvelt.wav file";
inline constexpr const char* kWaveRescaleFailed =
    "Cwavfil::rescale\nError while rescaling WAVE file";
// The reasons of a WAVE file problem that is not the system's.
inline constexpr const char* kNotPlayableWave = "not a 16-bit stereo PCM WAVE file";
inline constexpr const char* kWaveStillWritten = "still being written";
inline constexpr const char* kWaveHeaderMismatch = "its header does not describe its data";

// ---- The conversion ------------------------------------------------------------------------

inline constexpr const char* kNoMidiTitle = "No MIDI file";
inline constexpr const char* kNoMidiText =
    "There is no MIDI file loaded\nPlease load a MIDI file and try again";
inline constexpr const char* kMidiNotLoadedTitle = "MIDI file not loaded";
inline constexpr const char* kMidiNotLoadedText =
    "The selected MIDI file could not be loaded,\npossibly due to an error in the MIDI "
    "file.\nPlease load a valid MIDI file and try again";
inline constexpr const char* kMidiLoadFailedTitle = "Couldn't load MIDI file";
inline constexpr const char* kMidiLoadFailedText =
    "The MIDI file selected could not be loaded\nIt either does not exist, or it is "
    "corrupt\nor it has an unknown format\nPlease select another MIDI file and try again";
inline constexpr const char* kMidiLoadFailedCliText =
    "The MIDI file selected could not be loaded\nIt either does not exist, or it is "
    "corrupt\nor it has an unknown format\nPlease name another MIDI file and try again";
inline constexpr const char* kBankMissingTitle = "Couldn't find sound bank";
inline constexpr const char* kBankMissingText = "The sound bank selected does not exist.";
inline constexpr const char* kBankMissingCliText =
    "The sound bank selected does not exist.\nName an existing one with --bank and try again";
inline constexpr const char* kBankUnreadableTitle = "Couldn't load sound bank";
inline constexpr const char* kBankUnreadableText =
    "The sound bank selected could not be loaded\nIt is either corrupt or it has an unknown "
    "format\nPlease select another sound bank and try again";
inline constexpr const char* kBankUnreadableCliText =
    "The sound bank selected could not be loaded\nIt is either corrupt or it has an unknown "
    "format\nPlease name another sound bank with --bank and try again";
// An output that is one of the inputs would be destroyed by the render that reads it.
inline constexpr const char* kOutputIsMidiTitle = "Output file is the MIDI file";
inline constexpr const char* kOutputIsMidiFormat =
    "The output file %s\nis the MIDI file being converted; writing it would destroy the "
    "MIDI file.\nPlease choose another output file and try again";
inline constexpr const char* kOutputIsMidiCliFormat =
    "The output file %s\nis the MIDI file being converted; writing it would destroy the "
    "MIDI file.\nPlease name another output file with --output and try again";
inline constexpr const char* kOutputIsBankTitle = "Output file is the sound bank";
inline constexpr const char* kOutputIsBankFormat =
    "The output file %s\nis the sound bank; writing it would destroy the sound bank.\nPlease "
    "choose another output file and try again";
inline constexpr const char* kOutputIsBankCliFormat =
    "The output file %s\nis the sound bank; writing it would destroy the sound bank.\nPlease "
    "name another output file with --output and try again";
// A render whose frames cannot all fit a WAVE file is refused before anything is written.
inline constexpr const char* kTooLongTitle = "MIDI file too long";
inline constexpr const char* kTooLongFormat =
    "The MIDI file plays for %s, but a WAVE file can hold\nat most %s of music.\nPlease "
    "check the MIDI file and the MIDI tempo in OPTIONS and try again";
inline constexpr const char* kTooLongCliFormat =
    "The MIDI file plays for %s, but a WAVE file can hold\nat most %s of music.\nPlease "
    "check the MIDI file and the --tempo option and try again";
inline constexpr const char* kWaveNotCreatedTitle = "Couldn't create the WAVE file";
inline constexpr const char* kWaveNotCreatedText =
    "There was an error while creating the WAVE file\nPlease check if your hard drive is "
    "not full and try again";
// A render whose frames did not all reach the disk is not a WAVE file to rescale or judge.
inline constexpr const char* kWaveNotWrittenTitle = "Couldn't write the WAVE file";
inline constexpr const char* kWaveNotWrittenText =
    "There was an error while writing the WAVE file\nPlease check if your hard drive is "
    "not full and try again";
inline constexpr const char* kWaveEmptyTitle = "WAVE file empty";
inline constexpr const char* kWaveEmptyText =
    "The WAVE file created has no sound. Possible causes:\n1) Your MIDI file doesn't have "
    "sound generating commands\n2) Your MIDI file doesn't have preset selection "
    "commands\n3) Your Sound Font doesn't have the required presets\nSuggestion: Go to "
    "OPTIONS and activate 'Show MIDI error messages'\nPlease check your MIDI and Sound Font "
    "files and try again";
inline constexpr const char* kWaveEmptyCliText =
    "The WAVE file created has no sound. Possible causes:\n1) Your MIDI file doesn't have "
    "sound generating commands\n2) Your MIDI file doesn't have preset selection "
    "commands\n3) Your Sound Font doesn't have the required presets\nSuggestion: run again "
    "with --show-midi-errors\nPlease check your MIDI and Sound Font files and try again";
// The same when the errors are shown already.
inline constexpr const char* kWaveEmptyShownCliText =
    "The WAVE file created has no sound. Possible causes:\n1) Your MIDI file doesn't have "
    "sound generating commands\n2) Your MIDI file doesn't have preset selection "
    "commands\n3) Your Sound Font doesn't have the required presets\nPlease check your MIDI "
    "and Sound Font files and try again";
inline constexpr const char* kRescaleFailedTitle = "Error in WAVE file";
inline constexpr const char* kRescaleFailedText =
    "An error ocurred while rescaling the values in the \noutput WAVE file.\nPlease check "
    "your hard-disk space and try again";
inline constexpr const char* kAdjustVolumeTitle = "Adjust Master Volume";
inline constexpr const char* kAdjustVolumeFormat =
    "To obtain better dynamics in your WAVE file\nyou should go to OPTIONS, increase "
    "the\nMaster Volume by %u dB and try again";
inline constexpr const char* kAdjustVolumeCliFormat =
    "To obtain better dynamics in your WAVE file\nraise the level with --master-volume %d "
    "and try again";

// ---- Batch files ---------------------------------------------------------------------------

inline constexpr const char* kBatchFileErrorTitle = "Batch file error";
inline constexpr const char* kBatchSyntaxHelp =
    "Each line in the batch file must have 3 elements,\nseparated by one or more spaces, in "
    "this order:\n- SoundBank file\n- Output file\n- MIDI file\nIf the file name has spaces, "
    "enclose it between \"\"\n";
inline std::string batchSyntaxErrorText(unsigned line) {
    return "Syntax error in line " + std::to_string(line) + "\n" + kBatchSyntaxHelp;
}
inline std::string batchBankMissingText(unsigned line, const std::string& bank) {
    return "Line " + std::to_string(line) + " - SoundBank file " + bank + " doesn't exist";
}
inline std::string batchMidiMissingText(unsigned line, const std::string& midi) {
    return "Line " + std::to_string(line) + " - MIDI file " + midi + " doesn't exist";
}
// `what` is kBatchSoundBankFile or kBatchMidiFile.
inline constexpr const char* kBatchSoundBankFile = "SoundBank file";
inline constexpr const char* kBatchMidiFile = "MIDI file";
inline std::string batchOverwritesText(unsigned line, const std::string& output, const char* what,
                                       unsigned readerLine) {
    return "Line " + std::to_string(line) + " - Output file " + output + " is also the " + what +
           " of line " + std::to_string(readerLine) + "\nThe batch would overwrite it";
}
inline constexpr const char* kBatchOpenFailedText =
    "Couldn't open the selected batch file\nPlease select a batch file and try again";
inline constexpr const char* kBatchOpenFailedCliText =
    "Couldn't open the selected batch file\nPlease name a batch file and try again";
inline constexpr const char* kBatchReadFailedText =
    "Couldn't read the selected batch file\nPlease select a batch file and try again";
inline constexpr const char* kBatchReadFailedCliText =
    "Couldn't read the selected batch file\nPlease name a batch file and try again";
// The reason of a batch file that ended before the length it had when it was opened.
inline constexpr const char* kBatchFileCutShort = "it ended before its length";

inline constexpr const char* kBatchErrorTitle = "Batch error";
inline constexpr const char* kBatchBankFailedText =
    "The sound bank could not be loaded\nIt either does not exist, or it is corrupt\nor it "
    "has an unknown format\nPlease correct the batch and try again";
inline constexpr const char* kBatchMidiFailedText =
    "The MIDI file could not be loaded\nIt either does not exist, or it is corrupt\nor it has "
    "an unknown format\nPlease correct the batch file and try again";
inline constexpr const char* kBatchWaveFailedText =
    "There was an error while creating the WAVE file\nPlease check if your hard drive is not "
    "full and try again";
// Why a job failed, for the summary of a batch that keeps going, when no file problem
// tells it.
inline std::string jobBankFailedReason(const std::string& bank) {
    return "sound bank " + bank + " could not be loaded";
}
inline std::string jobMidiFailedReason(const std::string& midi) {
    return "MIDI file " + midi + " could not be loaded";
}
inline std::string jobTooLongReason(const std::string& midi) {
    return midi + " plays longer than a WAVE file can hold";
}
inline std::string jobWaveNotCreatedReason(const std::string& output) {
    return output + " could not be created";
}
inline std::string jobWaveNotRescaledReason(const std::string& output) {
    return output + " could not be rescaled";
}
inline std::string jobWaveNotWrittenReason(const std::string& output) {
    return output + " could not be written";
}

// ---- Listening and the main window ----------------------------------------------------------

inline constexpr const char* kWaveMissingTitle = "WAVE file missing";
inline constexpr const char* kWaveMissingText =
    "The WAVE file selected does not exist.\nSuggestion 1: Select an existing WAVE file and try "
    "again\nSuggestion 2: Select a MIDI file and hit Convert";
inline constexpr const char* kWaveMissingCliText =
    "The WAVE file selected does not exist.\nSuggestion 1: Name an existing WAVE file and try "
    "again\nSuggestion 2: Make one with 'korvelt-cli convert'";
inline constexpr const char* kInvalidWaveTitle = "Invalid Wave file";
inline constexpr const char* kInvalidWaveText =
    "The WAVE file selected appears to be corrupt\nSuggestion 1: Select another WAVE file and "
    "try again\nSuggestion 2: Select a MIDI file and hit Convert";
inline constexpr const char* kInvalidWaveCliText =
    "The WAVE file selected appears to be corrupt\nSuggestion 1: Name another WAVE file and "
    "try again\nSuggestion 2: Make one with 'korvelt-cli convert'";
inline constexpr const char* kOutputBusyTitle = "Wave output busy";
inline constexpr const char* kOutputBusyText =
    "The Wave output device is not ready. Possible causes:\n1) There is another application "
    "using the device\n2) Your computer doesn't have sound output capabilities";
// No browser or other program took the help page: the user can still open it by hand.
inline constexpr const char* kHelpNotOpenedTitle = "Couldn't open the help page";
inline std::string helpNotOpenedText(const std::string& page) {
    return "No program could open the help page:\n" + page;
}

// ---- The settings file ----------------------------------------------------------------------

// One that exists but cannot be read, and default files that cannot be saved (each shown
// with the file's problem).
inline constexpr const char* kSettingsFileErrorTitle = "Settings file error";
inline constexpr const char* kSettingsNotReadText =
    "The settings file could not be read\nThe built-in default files are used";
inline constexpr const char* kSettingsNotSavedText = "The default files could not be saved";

// ---- The command line's summary of data messages --------------------------------------------

inline constexpr const char* kDataProblemSummaryHead =
    "MIDI and sound bank errors met while rendering:\n";

} // namespace korvelt::msg
