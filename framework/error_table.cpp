// The reporter's built-in error definitions.
//
// They are written here in UTF-8 for readability and packed at compile time into the table
// format that AddErrors reads, with the texts converted to code page 1250 (the program's own
// single-byte text); the display boundary turns them back into UTF-8.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/error_reporter.h"
#include "runtime/text/cp1250.h"

namespace vantrel::framework {
namespace {

struct Definition {
  std::uint16_t id;
  std::uint8_t severity;
  std::string_view title;    // UTF-8
  std::string_view message;  // UTF-8; '|' breaks the line in the message dialog
};

// In the order AddErrors appends them; the lookup takes the newest entry of a number.
constexpr Definition kDefinitions[] = {
    {30, 5, "Neispravan ključ", "Ključ tablice %File je neispravan. |Potrebno je popraviti ključ."},
    {29, 3, "Ključ nije popravljen",
     "Greška: (%ErrorText) |tijekom popravljanja ključa tablice %File."},
    {12, 3, "Greška stvaranja tablice", "Greška: (%ErrorText) |tijekom stvaranja tablice %File."},
    {27, 5, "Nedefinirana procedura", "Procedura %Message nije definirana."},
    {19, 5, "Greška raspona", "Vrijednost %Field mora biti manja od %Message."},
    {20, 5, "Greška raspona", "Vrijednost %Field mora biti veća od %Message."},
    {18, 5, "Greška raspona", "Vrijednost %Field mora biti u rasponu %Message."},
    {16, 5, "Greška sadržaja polja", "Vrijednost %Field mora postojati u tablici %Message."},
    {34, 5, "Greška izmjene zapisa",
     "Zapis je povezan sa tablicom %File. |Izmjena vezanih polja je onemogućena, |sadržaj polja "
     "vraćen je na izvorne vrijednosti."},
    {33, 5, "Greška brisanja zapisa",
     "Zapis je povezan sa tablicom %File. |Brisanje zapisa je onemogućeno dok postoji veza."},
    {4, 5, "Greška unosa zapisa",
     "Tijekom kreiranja zapisa pojavila se greška. |Greška: %ErrorText."},
    {7, 5, "Izmjena zapisa",
     "Izmjena zapisa nije izvršena. |Zapis je promijenjen sa druge radne stanice."},
    {8, 5, "Izmjena zapisa",
     "Izmjena zapisa nije izvršena, zapis je promijenjen sa druge radne stanice. |Izmjene će se "
     "sada prikazati, koristite tipku <F2> za opoziv promjena."},
    {37, 1, "Greška izmjene zapisa",
     "Tijekom izmjene zapisa pojavila se greška. |Želite li ponovo pokušati spremiti zapis?"},
    {36, 1, "Greška brisanja zapisa",
     "Tijekom brisanja zapisa pojavila se greška. |Želite li ponovo pokušati izbrisati zapis?"},
    {23, 5, "Neispravan zahtjev", "Nije dozvoljeno korištenje ovog prozora za unos zapisa."},
    {41, 5, "Neispravan zahtjev", "Nije dozvoljeno korištenje ovog prozora za izmjenu zapisa."},
    {14, 5, "Neispravan zahtjev", "Nije dozvoljeno korištenje ovog prozora za brisanje zapisa."},
    {10, 1, "Potvrda odustajanja",
     "Promjena neće biti zapamćena. |Jeste li sigurni da želite odustati?"},
    {15, 5, "Greška dupliciranog ključa",
     "Zapis je već unesen. |Dodavanjem zapisa duplicira se vrijednost ključa: %Message"},
    {35, 1, "Greška automatske numeracije",
     "Pokušaji automatske numeracije zapisa nisu uspjeli. |Greška: %ErrorText. |Želite li pokušati "
     "ponovo?"},
    {21, 5, "Greška učitavanja datoteke",
     "Greška tijekom učitavanja datoteke %File. |Greška: %ErrorText."},
    {39, 1, "Pregled datoteke",
     "Dosegnut je početak datoteke. |Želite li krenuti ponovo od završetka datoteke?"},
    {40, 1, "Pregled datoteke",
     "Dosegnut je završetak datoteke. |Želite li krenuti ponovo od početka datoteke?"},
    {6, 5, "Greška pristupa datoteci",
     "Datoteku %File nije moguće zatvoriti. |Greška: %ErrorText."},
    {26, 3, "Greška pristupa datoteci",
     "Datoteku (%File) nije moguće otvoriti. |Greška: %ErrorText."},
    {28, 5, "Greška izmjene zapisa",
     "Tijekom izmjene tablice %File pojavila se greška. |Greška: (%ErrorText). |Zapis nije "
     "izmijenjen."},
    {13, 5, "Greška brisanja zapisa",
     "Tijekom brisanja tablice %File pojavila se greška. |Greška: (%ErrorText). |Zapis nije "
     "izbrisan."},
    {11, 1, "Potvrda brisanja", "Jeste li sigurni da želite izbrisati označeni zapis?"},
    {38, 1, "Potvrda spremanja", "Želite li spremiti izmjene zapisa?"},
    {24, 5, "Greška transakcije",
     "Greška: (%ErrorText) |tijekom pokušaja uspostavljanja transakcije na tablici %File."},
    {1, 5, "Greška preuzimanja zapisa",
     "Greška: (%ErrorText) |tijekom pokušaja pristupa zapisu iz tablice %File. |Povratak u "
     "prethodni prozor."},
    {43, 5, "Greška kod otvaranja viewa",
     "Greška: (%ErrorText) |tijekom pokušaja otvaranja Viewa. |Ograničenja filtera i raspona "
     "ignorirana."},
    {3, 1, "Unos zapisa", "Zapis je dodan u tablicu. |Želite li unos još jednog zapisa?"},
    {31, 5, "Čitanje zapisa",
     "Tijekom čitanja tablice %File |dosegnut je zapis zauzet od druge radne stanice."},
    {5, 5, "Unos zapisa", "Zapis nije nađen. |Želite li dodati novi zapis?"},
    {17, 5, "Greška vrijednosti", "Vrijednost %Field mora biti u listi: %Message."},
    {25, 5, "Nema zapisa", "Ne postoji niti jedan zapis za obradu."},
    {2, 5, "Odbijen pristup",
     "Nije dobiveno pravo pisanja u tablicu %File, |pokušavam read-only pristup."},
    {42, 2, "Greška korištenja tablice",
     "Pokušaj korištenja tablice %File prije otvaranja tablice."},
    {44, 5, "Nepodržana QBE kolona",
     "Spremljena QBE kolona %Field nije podržana. |Biti će izbačena iz upita."},
    {45, 5, "Greška SMTP", "%Message "},
    {46, 5, "Greška NNTP", "%Message "},
    {47, 5, "Greška Winsock", "%Message "},
    {49, 3, "Greška WMF parsera", "Datoteka %File nije ispravna WMF datoteka."},
    {22, 3, "Greška WMF parsera", "Čitanje slijedećeg zapisa iz datoteke %File nije uspjelo."},
    {51, 3, "Greška WMF parsera", "ID %Field nije pronađen. Obrađujem datoteku %File."},
    {50, 3, "Greška WMF parsera", "Neispravna kontrola %Field. Obrađujem datoteku %File."},
    {48, 3, "Greška WMF parsera",
     "Dodavanje zapisa u queue nije uspjelo. Obrađujem datoteku %File."},
    {52, 5, "Greška Report Writer-a",
     "Neispravno sastavljen komentar \"%Message\" na poziciji %Field."},
    {53, 5, "Greška Report Writer-a", "Nepoznato svojstvo %Message."},
    {9, 5, "Čitanje zapisa",
     "Zapis je promijenjen ili izbrisan sa druge radne stanice.|Greška: (%ErrorText) tijekom "
     "pristupa zapisu iz tablice %File."},
};

// Decodes one UTF-8 character at text[i] and advances i.
constexpr char32_t NextChar(std::string_view text, std::size_t& i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = b(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  if ((lead & 0xE0) == 0xC0) {
    const char32_t c = (char32_t(lead & 0x1F) << 6) | char32_t(b(i + 1) & 0x3F);
    i += 2;
    return c;
  }
  const char32_t c =
      (char32_t(lead & 0x0F) << 12) | (char32_t(b(i + 1) & 0x3F) << 6) | char32_t(b(i + 2) & 0x3F);
  i += 3;
  return c;
}

constexpr std::size_t EncodedLength(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++n) NextChar(text, i);
  return n;
}

constexpr std::size_t PackedSize() {
  std::size_t size = 2;
  for (const Definition& d : kDefinitions) {
    size += 2 + 1 + 1 + EncodedLength(d.title) + 1 + EncodedLength(d.message);
  }
  return size;
}

template <std::size_t N>
constexpr void PutText(std::array<std::uint8_t, N>& out, std::size_t& at, std::string_view text) {
  const std::size_t length = EncodedLength(text);
  if (length > 255) throw "a text of the packed table is longer than 255 bytes";
  out[at++] = static_cast<std::uint8_t>(length);
  for (std::size_t i = 0; i < text.size();) {
    const int byte = Cp1250ByteOf(NextChar(text, i));
    if (byte < 0) throw "a character of the error table has no code page 1250 byte here";
    out[at++] = static_cast<std::uint8_t>(byte);
  }
}

constexpr std::array<std::uint8_t, PackedSize()> Pack() {
  std::array<std::uint8_t, PackedSize()> out{};
  constexpr std::size_t count = std::size(kDefinitions);
  out[0] = static_cast<std::uint8_t>(count & 0xFF);
  out[1] = static_cast<std::uint8_t>(count >> 8);
  std::size_t at = 2;
  for (const Definition& d : kDefinitions) {
    out[at++] = static_cast<std::uint8_t>(d.id & 0xFF);
    out[at++] = static_cast<std::uint8_t>(d.id >> 8);
    out[at++] = d.severity;
    PutText(out, at, d.title);
    PutText(out, at, d.message);
  }
  return out;
}

constexpr std::array<std::uint8_t, PackedSize()> kPacked = Pack();
static_assert(std::size(kDefinitions) == 52);

}  // namespace

std::span<const std::uint8_t> BuiltInErrorTable() { return kPacked; }

}  // namespace vantrel::framework
