#pragma once
// The recognition vocabulary shipped in data/recognition-words.ini: branch words, company
// suffixes, page furniture and footer marks. Loaded once; every entry is GBK, Latin
// letters lower-cased.

#include <string>
#include <string_view>
#include <vector>

struct TRecognitionWords {
  std::vector<std::string> BranchWords;
  std::vector<std::string> CompanySuffixes;
  std::vector<std::string> NoiseWords;
  std::vector<std::string> NoShapeLabels;
  std::vector<std::string> FooterMarks;
  std::vector<std::string> OwnerLabels;
  std::vector<std::string> ShortTelephoneLabels;
  std::vector<std::string> ShortFaxLabels;
  std::vector<std::string> ShortMailLabels;
  std::vector<std::string> ShortAddressLabels;
  std::vector<std::string> ShortPostCodeLabels;
  std::vector<std::string> ShortCompanyLabels;
  // Label words beyond the settings' keyword lists, found anywhere in a label.
  std::vector<std::string> AddressLabels;
  std::vector<std::string> PostCodeLabels;
  std::vector<std::string> TelephoneLabels;
  std::vector<std::string> FaxLabels;
  std::vector<std::string> MailLabels;
  // Words of addresses written in Latin letters.
  std::vector<std::string> LatinAddressWords;
};

// The shipped vocabulary; empty lists when the file is missing.
const TRecognitionWords& RecognitionWords();

// Reads a vocabulary from INI bytes (GBK).
TRecognitionWords ParseRecognitionWords(std::string_view iniBytes);
