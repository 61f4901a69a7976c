[playlist]
File1=http://stream.example.org:8000/radio.mp3
Length1=-1
NumberOfEntries=1
Version=2
