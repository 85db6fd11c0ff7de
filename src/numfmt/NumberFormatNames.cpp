// Month and day names per language, as Excel shows them under a locale tag.
// They are the names LibreOffice shows, except where Excel (Windows' locale
// data) differs: Japanese full months, Korean months, Czech and Polish short
// months (see tests/fixtures/numfmt/README.md).
#include "numfmt/NumberFormatNames.h"

namespace kv {

namespace {

const TDateNames kNames[] = {
    // English
    {0x09,
     {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
     {"January", "February", "March", "April", "May", "June", "July", "August", "September",
      "October", "November", "December"},
     {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
     {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}},
    // German
    {0x07,
     {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
     {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
      "November", "Dezember"},
     {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
     {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"}},
    // French
    {0x0C,
     {"janv.", "févr.", "mars", "avr.", "mai", "juin", "juil.", "août", "sept.", "oct.", "nov.",
      "déc."},
     {"janvier", "février", "mars", "avril", "mai", "juin", "juillet", "août", "septembre",
      "octobre", "novembre", "décembre"},
     {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."},
     {"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"}},
    // Italian
    {0x10,
     {"gen", "feb", "mar", "apr", "mag", "giu", "lug", "ago", "set", "ott", "nov", "dic"},
     {"gennaio", "febbraio", "marzo", "aprile", "maggio", "giugno", "luglio", "agosto", "settembre",
      "ottobre", "novembre", "dicembre"},
     {"dom", "lun", "mar", "mer", "gio", "ven", "sab"},
     {"domenica", "lunedì", "martedì", "mercoledì", "giovedì", "venerdì", "sabato"}},
    // Spanish
    {0x0A,
     {"ene", "feb", "mar", "abr", "may", "jun", "jul", "ago", "sep", "oct", "nov", "dic"},
     {"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto", "septiembre",
      "octubre", "noviembre", "diciembre"},
     {"dom", "lun", "mar", "mié", "jue", "vie", "sáb"},
     {"domingo", "lunes", "martes", "miércoles", "jueves", "viernes", "sábado"}},
    // Dutch
    {0x13,
     {"jan", "feb", "mrt", "apr", "mei", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
     {"januari", "februari", "maart", "april", "mei", "juni", "juli", "augustus", "september",
      "oktober", "november", "december"},
     {"zo", "ma", "di", "wo", "do", "vr", "za"},
     {"zondag", "maandag", "dinsdag", "woensdag", "donderdag", "vrijdag", "zaterdag"}},
    // Portuguese
    {0x16,
     {"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"},
     {"janeiro", "fevereiro", "março", "abril", "maio", "junho", "julho", "agosto", "setembro",
      "outubro", "novembro", "dezembro"},
     {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"},
     {"domingo", "segunda-feira", "terça-feira", "quarta-feira", "quinta-feira", "sexta-feira",
      "sábado"}},
    // Swedish
    {0x1D,
     {"jan", "feb", "mar", "apr", "maj", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
     {"januari", "februari", "mars", "april", "maj", "juni", "juli", "augusti", "september",
      "oktober", "november", "december"},
     {"sö", "må", "ti", "on", "to", "fr", "lö"},
     {"söndag", "måndag", "tisdag", "onsdag", "torsdag", "fredag", "lördag"}},
    // Danish
    {0x06,
     {"jan", "feb", "mar", "apr", "maj", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
     {"januar", "februar", "marts", "april", "maj", "juni", "juli", "august", "september",
      "oktober", "november", "december"},
     {"søn", "man", "tir", "ons", "tor", "fre", "lør"},
     {"søndag", "mandag", "tirsdag", "onsdag", "torsdag", "fredag", "lørdag"}},
    // Norwegian
    {0x14,
     {"jan.", "feb.", "mars", "april", "mai", "juni", "juli", "aug.", "sep.", "okt.", "nov.",
      "des."},
     {"januar", "februar", "mars", "april", "mai", "juni", "juli", "august", "september", "oktober",
      "november", "desember"},
     {"sø.", "ma.", "ti.", "on.", "to.", "fr.", "lø."},
     {"søndag", "mandag", "tirsdag", "onsdag", "torsdag", "fredag", "lørdag"}},
    // Finnish
    {0x0B,
     {"tammi", "helmi", "maalis", "huhti", "touko", "kesä", "heinä", "elo", "syys", "loka",
      "marras", "joulu"},
     {"tammikuu", "helmikuu", "maaliskuu", "huhtikuu", "toukokuu", "kesäkuu", "heinäkuu", "elokuu",
      "syyskuu", "lokakuu", "marraskuu", "joulukuu"},
     {"su", "ma", "ti", "ke", "to", "pe", "la"},
     {"sunnuntai", "maanantai", "tiistai", "keskiviikko", "torstai", "perjantai", "lauantai"}},
    // Polish
    {0x15,
     {"sty", "lut", "mar", "kwi", "maj", "cze", "lip", "sie", "wrz", "paź", "lis", "gru"},
     {"styczeń", "luty", "marzec", "kwiecień", "maj", "czerwiec", "lipiec", "sierpień", "wrzesień",
      "październik", "listopad", "grudzień"},
     {"niedz.", "pon.", "wt.", "śr.", "czw.", "pt.", "sob."},
     {"niedziela", "poniedziałek", "wtorek", "środa", "czwartek", "piątek", "sobota"}},
    // Czech
    {0x05,
     {"led", "úno", "bře", "dub", "kvě", "čvn", "čvc", "srp", "zář", "říj", "lis", "pro"},
     {"leden", "únor", "březen", "duben", "květen", "červen", "červenec", "srpen", "září", "říjen",
      "listopad", "prosinec"},
     {"ne", "po", "út", "st", "čt", "pá", "so"},
     {"neděle", "pondělí", "úterý", "středa", "čtvrtek", "pátek", "sobota"}},
    // Russian
    {0x19,
     {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"},
     {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь",
      "Ноябрь", "Декабрь"},
     {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"},
     {"воскресенье", "понедельник", "вторник", "среда", "четверг", "пятница", "суббота"}},
    // Japanese
    {0x11,
     {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
     {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
     {"日", "月", "火", "水", "木", "金", "土"},
     {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"}},
    // Chinese
    {0x04,
     {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
     {"一月", "二月", "三月", "四月", "五月", "六月", "七月", "八月", "九月", "十月", "十一月",
      "十二月"},
     {"日", "一", "二", "三", "四", "五", "六"},
     {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"}},
    // Korean
    {0x12,
     {"1월", "2월", "3월", "4월", "5월", "6월", "7월", "8월", "9월", "10월", "11월", "12월"},
     {"1월", "2월", "3월", "4월", "5월", "6월", "7월", "8월", "9월", "10월", "11월", "12월"},
     {"일", "월", "화", "수", "목", "금", "토"},
     {"일요일", "월요일", "화요일", "수요일", "목요일", "금요일", "토요일"}},
};

}  // namespace

const TDateNames& DateNamesFor(uint32_t Lcid) {
  const uint32_t Language = Lcid & 0x3FF;
  for (const TDateNames& N : kNames)
    if (N.Language == Language) return N;
  return kNames[0];
}

}  // namespace kv
