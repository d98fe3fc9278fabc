#include "analysis/recognition_words.h"

#include "core/data_files.h"
#include "core/file_read.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/ini_file.h"

TRecognitionWords ParseRecognitionWords(std::string_view iniBytes) {
  const TIniFile ini(iniBytes);
  auto list = [&](const char* key) {
    std::vector<std::string> words;
    for (const auto& w : LikeListFromText(ini.ReadString("RECOGNITION", key).value_or("")))
      if (!gbk::IsBlank(w)) words.push_back(gbk::LowerLatin(w));
    return words;
  };
  TRecognitionWords words;
  words.BranchWords = list("BranchWords");
  words.CompanySuffixes = list("CompanySuffixes");
  words.NoiseWords = list("NoiseWords");
  words.NoShapeLabels = list("NoShapeLabels");
  words.FooterMarks = list("FooterMarks");
  words.OwnerLabels = list("OwnerLabels");
  words.ShortTelephoneLabels = list("ShortTelephoneLabels");
  words.ShortFaxLabels = list("ShortFaxLabels");
  words.ShortMailLabels = list("ShortMailLabels");
  words.ShortAddressLabels = list("ShortAddressLabels");
  words.ShortPostCodeLabels = list("ShortPostCodeLabels");
  words.ShortCompanyLabels = list("ShortCompanyLabels");
  words.AddressLabels = list("AddressLabels");
  words.PostCodeLabels = list("PostCodeLabels");
  words.TelephoneLabels = list("TelephoneLabels");
  words.FaxLabels = list("FaxLabels");
  words.MailLabels = list("MailLabels");
  words.LatinAddressWords = list("LatinAddressWords");
  return words;
}

const TRecognitionWords& RecognitionWords() {
  static const TRecognitionWords words = [] {
    std::string bytes;
    if (auto path = FindDataFile("recognition-words.ini"))
      ReadFileCapped(*path, kIniMaxFileBytes, bytes);
    return ParseRecognitionWords(bytes);
  }();
  return words;
}
