[playlist]
File1=http://radio.example.org:8000
File2=http://radio.example.org/live?mount=/stream
Length2=-1
File3=
Title3=Side A
File4=/home/user/Music/04 Outro.mp3
Title4=Outro
Length4=95
NumberOfEntries=4
Version=2
