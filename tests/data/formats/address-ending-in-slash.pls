[playlist]
File1=http://stream.example.org:8000/
Length1=-1
File2=http://stream.example.org:8000/jazz/
Title2=
Length2=-1
NumberOfEntries=2
Version=2
